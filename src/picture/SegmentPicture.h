#pragma once

#include "window/Surface.h"
#include "window/UserScale.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zm::picture {

// One segment as drawn: end points on the plane, pen width and colour.
struct Segment {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int width = 1;
    Colour colour = 0;

    bool operator==(const Segment&) const = default;
};

// A run of segments of one colour and width joined end to end, in pixels of the
// page (from its top-left corner), drawn as one stroke with round caps and joins.
struct PagePath {
    struct Point {
        double x, y;
    };
    std::vector<Point> points; // at least two
    int width = 1;
    Colour colour = 0;
};

// A surface that keeps the picture as segments instead of pixels: everything
// drawn since the last clear, in drawing order. A segment drawn again with the
// same end points, width and colour covers its earlier copy exactly, so only the
// latest copy is kept, in its place. Hands every operation on to another surface
// if one is given.
class SegmentPicture : public Surface {
  public:
    explicit SegmentPicture(Surface* forward = nullptr, const UserScale& plane = UserScale{})
        : forward_(forward), plane_(plane) {}

    // The plane the segments lie on, which paths maps to the page.
    const UserScale& plane() const { return plane_; }
    void setPlane(const UserScale& plane) { plane_ = plane; }

    void line(float x1, float y1, float x2, float y2, Colour c) override;
    void setDrawWidth(int pixels) override;
    void setForeColor(Colour c) override;
    void cls() override;

    // The segments that show, in drawing order.
    std::vector<Segment> segments() const;
    std::size_t size() const { return segments_.size() - dead_; }

    // The picture on a page of the given size in pixels: the segments mapped from
    // the plane, clipped to the page (those wholly outside are left out), the
    // axis-aligned ones centred across whole pixels, and joined into paths where
    // consecutive segments of one colour and width meet.
    std::vector<PagePath> paths(int pageWidth, int pageHeight) const;

  private:
    static std::size_t hash(const Segment& s);
    // The slot of the table that holds s, or the empty slot where it would go.
    std::size_t slotOf(const Segment& s) const;
    // Makes the table fit `count` segments at most half full, every live one in it.
    void rebuild(std::size_t count);
    void compact();

    Surface* forward_;
    UserScale plane_;
    int width_ = 1;
    std::vector<Segment> segments_;
    std::vector<std::uint8_t> alive_; // 1 while no later copy covers the segment
    // Each live segment's place in segments_ plus one, by hash with linear
    // probing (0: an empty slot); its size is a power of two.
    std::vector<std::size_t> table_;
    std::size_t dead_ = 0;
};

} // namespace zm::picture
