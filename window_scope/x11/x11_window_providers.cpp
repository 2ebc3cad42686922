#include "window_scope/x11/x11_window_providers.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <deque>

namespace murmura {

namespace {

// Deep enough for any window manager's frame nesting; stops runaway walks on odd trees.
constexpr int kMaxTreeDepth = 16;

struct ChildList {
    Window parent = None;
    std::vector<Window> children;
};

std::optional<ChildList> queryTree(Display* display, Window window) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return std::nullopt;
    ChildList list{parent, {}};
    if (children) {
        list.children.assign(children, children + count);
        XFree(children);
    }
    return list;
}

X11WindowGeometry geometryOf(const XWindowAttributes& a) {
    return {a.root, a.width, a.height, a.border_width};
}

}  // namespace

X11WindowProviderBase::X11WindowProviderBase(Scheduler& scheduler, const std::string& displayName)
    : PollingWindowProvider(scheduler), connection_(X11Connection::open(displayName)) {
    if (!connection_) return;
    atoms_ = X11Atoms::intern(display());
    refreshGeometry();
}

XWindowId X11WindowProviderBase::root() const { return DefaultRootWindow(connection_->display()); }

void X11WindowProviderBase::refreshGeometry() {
    if (isAvailable()) geometry_ = readDisplayGeometry(display());
}

std::optional<Rect> X11WindowProviderBase::mainDisplayBounds() {
    refreshGeometry();
    if (!isAvailable()) return std::nullopt;
    return geometry_.mainDisplayBounds();
}

// ----- EWMH -----

bool EwmhWindowProvider::windowManagerSupportsEwmh() {
    if (!isAvailable()) return false;
    auto check = readLongs(display(), root(), atoms_.netSupportingWmCheck, XA_WINDOW);
    if (!check || check->empty()) return false;
    // A stale property left by a window manager that has exited names a window that is gone
    // or that does not point back at itself.
    auto self = readLongs(display(), static_cast<Window>(check->front()), atoms_.netSupportingWmCheck, XA_WINDOW);
    connection_->takeError();
    if (!self || self->empty() || self->front() != check->front()) return false;
    return readLongs(display(), root(), atoms_.netClientList, XA_WINDOW).has_value();
}

Expected<std::vector<WindowDescriptor>, WindowProviderError> EwmhWindowProvider::listWindows() {
    if (!isAvailable()) return unexpected(WindowProviderError::enumerationFailed());
    refreshGeometry();
    auto clients = readLongs(display(), root(), atoms_.netClientList, XA_WINDOW);
    if (!clients) return unexpected(WindowProviderError::enumerationFailed());
    std::vector<WindowCandidate> candidates;
    for (unsigned long id : *clients) {
        const auto window = static_cast<Window>(id);
        XWindowAttributes attributes{};
        // A client may close between reading the list and asking about it; it is simply skipped.
        if (!XGetWindowAttributes(display(), window, &attributes)) continue;
        auto pixels = decoratedFramePixels(display(), window, geometryOf(attributes), atoms_);
        if (!pixels) continue;
        WindowCandidate c;
        c.id = static_cast<uint32_t>(window);
        c.title = readTitle(display(), window, atoms_);
        c.ownerName = readOwnerName(display(), window);
        c.frame = geometry_.toPoints(*pixels);
        c.layer = readLayer(display(), window, atoms_);
        c.isOnScreen = attributes.map_state == IsViewable && !readHidden(display(), window, atoms_);
        candidates.push_back(std::move(c));
    }
    connection_->takeError();
    if (!isAvailable()) return unexpected(WindowProviderError::enumerationFailed());
    // Like the platform's shareable-content list: a window must belong to an application.
    return buildWindowList(candidates, WindowFilterOptions{.requireOwner = true});
}

std::optional<Rect> EwmhWindowProvider::frame(uint32_t windowID) {
    if (!isAvailable() || windowID == 0) return std::nullopt;
    const auto window = static_cast<Window>(windowID);
    XWindowAttributes attributes{};
    std::optional<Rect> result;
    if (XGetWindowAttributes(display(), window, &attributes)) {
        if (auto pixels = decoratedFramePixels(display(), window, geometryOf(attributes), atoms_))
            result = geometry_.toPoints(*pixels);
    }
    connection_->takeError();
    if (!isAvailable()) return std::nullopt;
    return result;
}

// ----- window tree -----

std::optional<Window> X11TreeWindowProvider::findClient(Window topLevel) {
    std::deque<std::pair<Window, int>> queue{{topLevel, 0}};
    while (!queue.empty()) {
        auto [window, depth] = queue.front();
        queue.pop_front();
        if (hasWmState(display(), window, atoms_)) return window;
        if (depth >= kMaxTreeDepth) continue;
        if (auto tree = queryTree(display(), window))
            for (Window child : tree->children) queue.emplace_back(child, depth + 1);
    }
    return std::nullopt;
}

std::optional<Window> X11TreeWindowProvider::topLevelAncestor(Window window) {
    const Window rootWindow = root();
    if (window == rootWindow) return std::nullopt;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        auto tree = queryTree(display(), window);
        if (!tree || tree->parent == None) return std::nullopt;
        if (tree->parent == rootWindow) return window;
        window = tree->parent;
    }
    return std::nullopt;
}

Expected<std::vector<WindowDescriptor>, WindowProviderError> X11TreeWindowProvider::listWindows() {
    if (!isAvailable()) return unexpected(WindowProviderError::enumerationFailed());
    refreshGeometry();
    auto top = queryTree(display(), root());
    if (!top) return unexpected(WindowProviderError::enumerationFailed());
    std::vector<WindowCandidate> candidates;
    for (Window child : top->children) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display(), child, &attributes)) continue;
        // Menus, tooltips and other override-redirect surfaces are not application windows.
        if (attributes.override_redirect || attributes.c_class == InputOnly) continue;
        // Under a reparenting window manager the child is a frame and the client sits inside
        // it carrying WM_STATE; without a window manager the mapped child is the client.
        auto client = findClient(child);
        if (!client) {
            if (attributes.map_state != IsViewable) continue;
            client = child;
        }
        const double border = attributes.border_width;
        WindowCandidate c;
        c.id = static_cast<uint32_t>(*client);
        c.title = readTitle(display(), *client, atoms_);
        c.ownerName = readOwnerName(display(), *client);
        c.frame = geometry_.toPoints(Rect{static_cast<double>(attributes.x), static_cast<double>(attributes.y),
                                          attributes.width + 2 * border, attributes.height + 2 * border});
        c.layer = readLayer(display(), *client, atoms_);
        c.isOnScreen = attributes.map_state == IsViewable && !readHidden(display(), *client, atoms_);
        candidates.push_back(std::move(c));
    }
    connection_->takeError();
    if (!isAvailable()) return unexpected(WindowProviderError::enumerationFailed());
    return buildWindowList(candidates, WindowFilterOptions{.requireOwner = false});
}

std::optional<Rect> X11TreeWindowProvider::frame(uint32_t windowID) {
    if (!isAvailable() || windowID == 0) return std::nullopt;
    std::optional<Rect> result;
    if (auto top = topLevelAncestor(static_cast<Window>(windowID))) {
        XWindowAttributes a{};
        if (XGetWindowAttributes(display(), *top, &a)) {
            const double border = a.border_width;
            result = geometry_.toPoints(Rect{static_cast<double>(a.x), static_cast<double>(a.y),
                                             a.width + 2 * border, a.height + 2 * border});
        }
    }
    connection_->takeError();
    if (!isAvailable()) return std::nullopt;
    return result;
}

std::shared_ptr<PollingWindowProvider> makeDefaultWindowProvider(Scheduler& scheduler, const std::string& displayName) {
    auto ewmh = std::make_shared<EwmhWindowProvider>(scheduler, displayName);
    if (!ewmh->isAvailable() || ewmh->windowManagerSupportsEwmh()) return ewmh;
    return std::make_shared<X11TreeWindowProvider>(scheduler, displayName);
}

}  // namespace murmura
