#ifndef APPICON_H
#define APPICON_H

class QPainter;

/// Paints the program's icon, a quill over a tick on a blue tile, filling a square of
/// `size` pixels from the painter's origin. The same strokes serve the SVG and every
/// PNG size of the icon theme.
void paintAppIcon(QPainter& painter, int size);

#endif // APPICON_H
