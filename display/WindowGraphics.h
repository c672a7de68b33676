#pragma once

class QQuickWindow;

// How a window that shows a SpectrumItem is drawn, chosen for a software rasteriser (a machine
// without a GPU), which redraws every pixel of the window in each frame:
// - OpenGL, which the spectrum renderer draws with;
// - no depth or stencil buffer: the scene is drawn back to front and clips only to rectangles
//   (scissor), and clearing and testing them for every pixel cost more than the colour itself;
// - text from the native glyph cache: a glyph drawn from a distance field runs a smoothing
//   shader over its whole quad, and the window's labels alone cost more that way than all its
//   panels and bars.
// Before the application creates any window:
void chooseWindowGraphics();
// On each window before it is first drawn:
void drawWithoutDepthBuffer(QQuickWindow& window);
