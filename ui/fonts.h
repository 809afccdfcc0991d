#pragma once

#include <QFont>

// The program's type faces. The windows were laid out for narrow system
// sans-serif faces; Liberation Sans keeps captions inside their designed
// boxes, Liberation Serif stands in for the serif headings.
namespace pegfonts {

inline QFont sans(int pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

inline QFont serif(int pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("Liberation Serif"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

} // namespace pegfonts
