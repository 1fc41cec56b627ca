#pragma once

#include <QImage>

// How many different colours a rendered image holds, sampled on a 2-pixel
// grid: a window with text and controls has many, a blank grab one or two.
int distinctColours(const QImage &image);
