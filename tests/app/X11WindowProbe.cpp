// X11WindowProbe TITLE EDGE_RGB AREA_RGB
// Waits for the top-level window TITLE to show, checks that its edge has the window colour
// EDGE_RGB and that at least a tenth of it shows the spectrum area colour AREA_RGB (which only
// an OpenGL framebuffer render puts there), then asks it to close as a window manager would.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
struct ImageDestroyer {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

Window findByTitle(Display* display, Window parent, const std::string& title)
{
    char* name = nullptr;
    if (XFetchName(display, parent, &name) && name != nullptr) {
        const bool match = title == name;
        XFree(name);
        if (match)
            return parent;
    }
    Window root = 0;
    Window up = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = findByTitle(display, children[i], title);
    if (children != nullptr)
        XFree(children);
    return found;
}

unsigned long rgbOf(XImage* image, int x, int y)
{
    const unsigned long pixel = XGetPixel(image, x, y);
    auto channel = [pixel](unsigned long mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1) == 0) {
            mask >>= 1;
            ++shift;
        }
        return (pixel >> shift) & 0xff;
    };
    return (channel(image->red_mask) << 16) | (channel(image->green_mask) << 8) | channel(image->blue_mask);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s TITLE EDGE_RGB AREA_RGB\n", argv[0]);
        return 2;
    }
    const std::string title = argv[1];
    const unsigned long edgeRgb = std::strtoul(argv[2], nullptr, 16);
    const unsigned long areaRgb = std::strtoul(argv[3], nullptr, 16);
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        std::fprintf(stderr, "FAILED: no X display\n");
        return 1;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool rendered = false;
    Window window = 0;
    unsigned long edge = 0;
    double areaShare = 0.0;
    while (!rendered && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        window = findByTitle(display.get(), DefaultRootWindow(display.get()), title);
        XWindowAttributes attributes;
        if (window == 0 || !XGetWindowAttributes(display.get(), window, &attributes)
            || attributes.map_state != IsViewable)
            continue;
        std::unique_ptr<XImage, ImageDestroyer> image(XGetImage(display.get(), window, 0, 0, attributes.width,
                                                                attributes.height, AllPlanes, ZPixmap));
        if (!image)
            continue;
        long area = 0;
        for (int y = 0; y < attributes.height; y += 4)
            for (int x = 0; x < attributes.width; x += 4)
                area += rgbOf(image.get(), x, y) == areaRgb;
        const long samples = static_cast<long>((attributes.height + 3) / 4) * ((attributes.width + 3) / 4);
        edge = rgbOf(image.get(), 1, 1);
        areaShare = static_cast<double>(area) / static_cast<double>(samples);
        rendered = edge == edgeRgb && areaShare >= 0.1;
    }
    if (!rendered) {
        std::fprintf(stderr, "FAILED: window \"%s\" %s; edge #%06lx, area colour on %.1f%% of it\n", title.c_str(),
                     window == 0 ? "never appeared" : "did not render as expected", edge, areaShare * 100.0);
        return 1;
    }
    std::printf("window \"%s\" rendered: edge #%06lx, area colour on %.1f%% of it\n", title.c_str(), edge,
                areaShare * 100.0);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display.get(), window, False, NoEventMask, &event);
    XFlush(display.get());
    return 0;
}
