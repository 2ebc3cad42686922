// Onboarding: three pages over a live ink animation. The animator runs on its own thread at 24
// frames a second and hands each frame to the screen; "Next" drops extra ink into the water.
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"
#include "rendering/ink_canvas_animator.h"

namespace murmura::ui {
namespace {

struct Page {
    Glyph icon;
    const char* title;
    const char* text;
};
constexpr std::array<Page, 3> kPages{{
    {Glyph::window, "Pick a Window", "Choose any window on your screen.\nMurmura will observe your interaction with it."},
    {Glyph::eyeSlash, "We Record Silently",
     "Work as you normally do.\nYour mouse, keyboard, and timing become the medium."},
    {Glyph::brush, "See Your Artwork",
     "When the session ends, a unique artwork\nis generated from your behavior. No two are alike."},
}};
constexpr int kCanvasWidth = 340, kCanvasHeight = 205;

// The paper the ink falls on: a rounded card that shows the latest frame.
class InkCanvas final : public QWidget {
public:
    InkCanvas() {
        setObjectName("inkCanvas");
        setFixedSize(kCanvasWidth, kCanvasHeight);
    }
    void setFrame(QImage frame) {
        frame_ = std::move(frame);
        ++framesShown;
        update();
    }
    int framesShown = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), 10, 10);
        p.setClipPath(clip);
        p.fillRect(rect(), palette::paperColor);
        if (!frame_.isNull()) p.drawImage(QRectF(rect()), frame_);
    }

private:
    QImage frame_;
};

class OnboardingView final : public Screen {
public:
    explicit OnboardingView(UiServices& ui) : Screen(ui) {
        auto* root = new QVBoxLayout(this);
        root->setContentsMargins(48, 36, 48, 30);
        root->setSpacing(0);
        canvas_ = new InkCanvas;
        root->addWidget(canvas_, 0, Qt::AlignHCenter);
        root->addSpacing(30);
        icon_ = new QLabel;
        icon_->setAlignment(Qt::AlignCenter);
        root->addWidget(icon_);
        root->addSpacing(10);
        title_ = label({}, "title");
        title_->setObjectName("pageTitle");
        title_->setAlignment(Qt::AlignCenter);
        root->addWidget(title_);
        root->addSpacing(8);
        text_ = label({}, "muted");
        text_->setAlignment(Qt::AlignCenter);
        root->addWidget(text_);
        root->addStretch(1);
        dots_ = label({});
        dots_->setAlignment(Qt::AlignCenter);
        root->addWidget(dots_);
        root->addSpacing(18);
        auto* buttons = new QHBoxLayout;
        auto* skip = button("Skip", "skipButton", "link");
        next_ = button("Next", "nextButton", "primary");
        next_->setLayoutDirection(Qt::RightToLeft);  // chevron after the text
        buttons->addWidget(skip);
        buttons->addStretch(1);
        buttons->addWidget(next_);
        root->addLayout(buttons);
        connect(skip, &QPushButton::clicked, this, [this] { state_.completeOnboarding(); });
        connect(next_, &QPushButton::clicked, this, [this] { advance(); });
        showPage();
        if (ui.animateOnboarding) startAnimation();
    }
    ~OnboardingView() override { OnboardingView::retire(); }

    void retire() override {
        stopAnimation();
        Screen::retire();
    }

private:
    void advance() {
        if (page_ + 1 >= int(kPages.size())) {
            state_.completeOnboarding();
            return;
        }
        ++page_;
        showPage();
        ++pendingDrops_;  // picked up by the animation thread before its next frame
    }

    void showPage() {
        const Page& p = kPages[size_t(page_)];
        icon_->setPixmap(glyph(p.icon, 34, palette::accentGold));
        title_->setText(p.title);
        text_->setText(p.text);
        QString dots;
        for (int i = 0; i < int(kPages.size()); ++i)
            dots += QString("<span style='color:%1;font-size:18px'>&#9679;</span>&nbsp;")
                        .arg(i == page_ ? palette::accentGold.name() : QStringLiteral("#4a4540"));
        dots_->setText(dots);
        const bool last = page_ + 1 == int(kPages.size());
        next_->setText(last ? "Get Started" : "Next");
        next_->setIcon(last ? QIcon() : QIcon(glyph(Glyph::chevronRight, 14, palette::ink)));
    }

    void startAnimation() {
        worker_ = std::thread([this] {
            // Twice the canvas size, so the ink is sharp on high-density screens.
            auto animator = InkCanvasAnimator::create(2 * kCanvasWidth, 2 * kCanvasHeight);
            if (!animator) return;  // no simulation: the paper stays blank
            constexpr auto kFrame = std::chrono::nanoseconds(41'666'666);
            std::unique_lock lock(mutex_);
            while (!stopping_) {
                lock.unlock();
                for (int n = pendingDrops_.exchange(0); n > 0; --n) animator->addDrop(std::nullopt, 1.1f);
                if (auto image = animator->nextFrame(1.0f / 24.0f)) {
                    QImage frame = toQImage(*image);
                    // Delivered only while the screen exists; stopAnimation() joins before it goes.
                    QMetaObject::invokeMethod(
                        canvas_, [canvas = canvas_, frame = std::move(frame)]() mutable { canvas->setFrame(std::move(frame)); },
                        Qt::QueuedConnection);
                }
                lock.lock();
                wake_.wait_for(lock, kFrame, [this] { return stopping_; });
            }
        });
    }

    void stopAnimation() {
        if (!worker_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }

    int page_ = 0;
    InkCanvas* canvas_;
    QLabel* icon_;
    QLabel* title_;
    QLabel* text_;
    QLabel* dots_;
    QPushButton* next_;
    std::atomic<int> pendingDrops_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace

Screen* makeOnboardingView(UiServices& ui) { return new OnboardingView(ui); }

}  // namespace murmura::ui
