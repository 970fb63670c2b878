#pragma once
#include <QRect>
#include <QSize>

namespace ombrix {

// Layouts are given in twips; 15 twips make one logical pixel.
constexpr int twips(int t) {
    return (t + 7) / 15;
}
inline QRect twipsRect(int left, int top, int width, int height) {
    return {twips(left), twips(top), twips(width), twips(height)};
}
inline QSize twipsSize(int width, int height) {
    return {twips(width), twips(height)};
}

} // namespace ombrix
