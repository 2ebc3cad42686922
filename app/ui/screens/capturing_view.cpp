// The recording screen: the time left and "Stop Early". Mostly seen from the tray while a
// session runs, or when the window is brought back during one.
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"

namespace murmura::ui {
namespace {

// A red dot that breathes once a second.
class RecordingDot final : public QWidget {
public:
    RecordingDot() {
        setFixedSize(18, 18);
        auto* t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this] {
            dim_ = !dim_;
            update();
        });
        t->start(1000);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        QColor c = palette::recordRed;
        c.setAlphaF(dim_ ? 0.4f : 1.0f);
        p.setBrush(c);
        p.drawEllipse(QRectF(2, 2, 14, 14));
    }

private:
    bool dim_ = false;
};

class CapturingView final : public Screen {
public:
    explicit CapturingView(UiServices& ui) : Screen(ui) {
        auto* root = new QVBoxLayout(this);
        root->addStretch(1);
        auto* badge = new QHBoxLayout;
        badge->addStretch(1);
        badge->addWidget(new RecordingDot);
        auto* recording = label("RECORDING", "heading");
        recording->setStyleSheet(QString("color: %1; font-size: 14px; letter-spacing: 4px;").arg(palette::recordRed.name()));
        badge->addWidget(recording);
        badge->addStretch(1);
        root->addLayout(badge);
        root->addSpacing(18);
        auto* remaining = label({}, "big");
        remaining->setObjectName("remaining");
        remaining->setAlignment(Qt::AlignCenter);
        root->addWidget(remaining);
        auto* word = label("remaining", "muted");
        word->setAlignment(Qt::AlignCenter);
        root->addWidget(word);
        root->addSpacing(34);
        auto* stop = button("Stop Early", "stopButton");
        stop->setMinimumWidth(180);
        root->addWidget(stop, 0, Qt::AlignHCenter);
        root->addSpacing(14);
        auto* hint = label("Keep working as usual. Murmura stays out of your way.", "muted");
        hint->setAlignment(Qt::AlignCenter);
        root->addWidget(hint);
        root->addStretch(1);
        connect(stop, &QPushButton::clicked, this, [this] { state_.stopSession(); });
        keep(state_.elapsedTime.subscribe([this, remaining](double elapsed) {
            remaining->setText(remainingText(seconds(state_.selectedDuration.value()), elapsed));
        }));
    }
};

}  // namespace

Screen* makeCapturingView(UiServices& ui) { return new CapturingView(ui); }

}  // namespace murmura::ui
