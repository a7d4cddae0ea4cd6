#pragma once

#include "window/SegmentPicture.h"

#include <QByteArray>
#include <QSize>

namespace zm {

// The picture as vector graphics on a page of the client size: white, with every
// segment stroked in its colour and width with round caps.
// SVG: the page in pixels. PDF: one page at 96 pixels per inch. Empty if the
// writer cannot start.
QByteArray svgPicture(const SegmentPicture& picture, QSize page);
QByteArray pdfPicture(const SegmentPicture& picture, QSize page);

} // namespace zm
