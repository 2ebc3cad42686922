// "Creating artwork...": shown while the session renders on the worker thread.
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"

namespace murmura::ui {
namespace {

// Twelve gold spokes with a turning bright head.
class ActivityIndicator final : public QWidget {
public:
    ActivityIndicator() {
        setObjectName("activityIndicator");
        setFixedSize(44, 44);
        auto* t = new QTimer(this);
        connect(t, &QTimer::timeout, this, [this] {
            step_ = (step_ + 1) % 12;
            update();
        });
        t->start(80);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(width() / 2.0, height() / 2.0);
        for (int i = 0; i < 12; ++i) {
            QColor c = palette::accentGold;
            c.setAlphaF(float(0.15 + 0.85 * ((i - step_ + 12) % 12 == 0 ? 1.0 : ((12 - (step_ - i + 12) % 12) / 12.0) * 0.7)));
            p.setPen(QPen(c, 3.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -11), QPointF(0, -19));
            p.rotate(30);
        }
    }

private:
    int step_ = 0;
};

class RenderingView final : public Screen {
public:
    explicit RenderingView(UiServices& ui) : Screen(ui) {
        auto* root = new QVBoxLayout(this);
        root->addStretch(1);
        root->addWidget(new ActivityIndicator, 0, Qt::AlignHCenter);
        root->addSpacing(20);
        auto* text = label("Creating artwork...", "title");
        text->setAlignment(Qt::AlignCenter);
        root->addWidget(text);
        root->addSpacing(6);
        auto* style = label({}, "muted");
        if (auto r = state_.styleRegistry().renderer(state_.selectedStyleID.value()))
            style->setText(qs(r->descriptor().name));
        style->setAlignment(Qt::AlignCenter);
        root->addWidget(style);
        root->addStretch(1);
    }
};

}  // namespace

Screen* makeRenderingView(UiServices& ui) { return new RenderingView(ui); }

}  // namespace murmura::ui
