#pragma once

#include "picture/SegmentPicture.h"

#include <QByteArray>
#include <QSize>

namespace zm {

// The picture as a one-page PDF of the client size at 96 pixels per inch: white,
// with every segment stroked in its colour and width with round caps. Empty if
// the writer cannot start. (The SVG picture is written without Qt: svgText.)
QByteArray pdfPicture(const picture::SegmentPicture& picture, QSize page);

} // namespace zm
