// The permission screen: input capture needs an X11 session. It polls once a second, so the
// app moves on by itself once the process can observe input.
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"

namespace murmura::ui {
namespace {

class PermissionView final : public Screen {
public:
    explicit PermissionView(UiServices& ui) : Screen(ui) {
        auto* root = new QVBoxLayout(this);
        root->setContentsMargins(70, 40, 70, 36);
        root->addStretch(1);
        auto* icon = new QLabel;
        icon->setPixmap(glyph(Glyph::hand, 56, palette::accentGold));
        icon->setAlignment(Qt::AlignCenter);
        root->addWidget(icon);
        root->addSpacing(16);
        auto* title = label("Accessibility Permission Required", "title");
        title->setAlignment(Qt::AlignCenter);
        root->addWidget(title);
        root->addSpacing(10);
        auto* text = label("Murmura needs accessibility permission to capture your input during a session.");
        text->setAlignment(Qt::AlignCenter);
        text->setWordWrap(true);
        root->addWidget(text);
        root->addSpacing(14);
        auto* note = label(
            "On Linux this means an X11 session with the RECORD extension, which Murmura uses to observe "
            "pointer and key activity without changing it. On a Wayland-only session, log out, choose an "
            "X11 session on the login screen (often called “on Xorg”), log in and start Murmura again.",
            "muted");
        note->setObjectName("platformNote");
        note->setAlignment(Qt::AlignCenter);
        note->setWordWrap(true);
        root->addWidget(note);
        root->addSpacing(26);
        auto* enabled = button("I've Enabled It", "enabledButton", "primary");
        enabled->setFixedWidth(220);
        root->addWidget(enabled, 0, Qt::AlignHCenter);
        root->addSpacing(8);
        auto* skip = button("Skip (Debug)", "skipDebugButton", "link");
        root->addWidget(skip, 0, Qt::AlignHCenter);
        root->addStretch(1);
        connect(enabled, &QPushButton::clicked, this, [this] { state_.checkPermission(); });
        connect(skip, &QPushButton::clicked, this, [this] { state_.phase.send(AppState::Phase::gallery); });
        auto* poll = new QTimer(this);
        poll->setObjectName("permissionPoll");
        poll->setInterval(1000);
        connect(poll, &QTimer::timeout, this, [this] { state_.checkPermission(); });
        poll->start();
    }
};

}  // namespace

Screen* makePermissionView(UiServices& ui) { return new PermissionView(ui); }

}  // namespace murmura::ui
