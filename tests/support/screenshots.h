#pragma once

#include <QImage>

class QWidget;

// How many different colours a rendered image holds, sampled on a 2-pixel
// grid: a window with text and controls has many, a blank grab one or two.
int distinctColours(const QImage &image);

// Waits until `window` is exposed and its layouts have settled: a change made
// while showing (the frame's 15-pixel margin, a widget shown or hidden) only
// moves the children when the posted layout request runs. False when the
// window was not exposed or the geometry kept changing.
bool settleLayouts(QWidget *window);

// The window rendered after settleLayouts(); a null image when it did not
// settle.
QImage grabSettled(QWidget *window);
