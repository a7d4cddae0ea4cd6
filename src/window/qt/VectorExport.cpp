#include "window/qt/VectorExport.h"

#include "window/Form1.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <vector>

namespace zm {

namespace {

QString caption() {
    return QString::fromUtf8(design::caption.data(), static_cast<qsizetype>(design::caption.size()))
        .simplified();
}

void paint(QPainter& p, const picture::SegmentPicture& picture, QSize page) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.fillRect(QRect(QPoint(0, 0), page), Qt::white);
    QPen pen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    std::vector<QPointF> points;
    for (const picture::PagePath& path : picture.paths(page.width(), page.height())) {
        const Colour c = path.colour;
        pen.setColor(QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                            static_cast<int>((c >> 16) & 0xFF)));
        pen.setWidth(path.width);
        p.setPen(pen);
        points.clear();
        for (const picture::PagePath::Point& q : path.points) {
            points.emplace_back(q.x, q.y);
        }
        if (points.size() == 2) {
            p.drawLine(points[0], points[1]);
        } else {
            p.drawPolyline(points.data(), static_cast<int>(points.size()));
        }
    }
}

// Qt's PDF pages measure whole points; the page of a client size is a multiple
// of 0.75 points. The media box is written with six decimals, so the exact size
// fits in its place (padded with spaces) and every offset in the file stays right.
void exactMediaBox(QByteArray& pdf, QSize written, QSizeF exact) {
    const auto box = [](double w, double h) {
        return "/MediaBox [0 0 " + QByteArray::number(w, 'f', 6) + " " + QByteArray::number(h, 'f', 6) + "]";
    };
    const QByteArray from = box(written.width(), written.height());
    QByteArray to = box(exact.width(), exact.height());
    const qsizetype at = pdf.indexOf(from);
    if (at < 0 || to.size() > from.size()) {
        return;
    }
    to.insert(to.size() - 1, QByteArray(from.size() - to.size(), ' '));
    pdf.replace(at, from.size(), to);
}

} // namespace

QByteArray pdfPicture(const picture::SegmentPicture& picture, QSize page) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(96);
    // 96 pixels to the inch: 72/96 of a point each.
    const QSizeF points(page.width() * 0.75, page.height() * 0.75);
    pdf.setPageSize(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(caption());
    pdf.setCreator(QStringLiteral("zebo-morlix-render"));
    QPainter p;
    if (!p.begin(&pdf)) {
        return {};
    }
    paint(p, picture, page);
    p.end();
    buffer.close();
    exactMediaBox(bytes, pdf.pageLayout().fullRectPoints().size(), points);
    return bytes;
}

} // namespace zm
