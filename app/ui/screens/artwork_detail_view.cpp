#include "app/ui/screens/artwork_detail_view.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QKeyEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "app/gallery_wall.h"
#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"
#include "app/ui/screens/wall_view.h"
#include "gallery/artwork_document.h"
#include "support/diagnostics.h"

namespace murmura::ui {
namespace {

// The picture in its frame, as large as the space allows. Shows the wall's display copy at once
// and the full-size image once it is decoded; a scaled copy for the current size keeps
// repaints cheap.
class DetailImage final : public QWidget {
public:
    DetailImage(ImageCache& cache, const ArtworkRecord& record, const std::optional<std::filesystem::path>& path) {
        setObjectName("detailImage");
        setMinimumSize(300, 240);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        unavailable_ = label("Image unavailable", "muted", this);
        unavailable_->setObjectName("imageUnavailable");
        unavailable_->setAlignment(Qt::AlignCenter);
        const QString id = qs(record.id.toString());
        if (const QImage* display = cache.image(id, path)) image_ = *display;
        if (!path || cache.status(id) == ImageCache::Status::unavailable) {
            setUnavailable();
            return;
        }
        unavailable_->hide();
        loading_ = true;
        QPointer<DetailImage> self(this);
        cache.loadFullSize(*path, [self](QImage full) {
            if (!self) return;
            self->loading_ = false;
            if (full.isNull()) return self->setUnavailable();
            self->image_ = std::move(full);
            self->scaled_ = QImage();
            self->update();
        });
    }
    bool unavailable() const { return unavailable_->isVisible(); }

protected:
    void resizeEvent(QResizeEvent*) override { unavailable_->setGeometry(rect()); }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double scale = std::clamp(width() / 560.0, 0.8, 1.4);
        const double border = frameRect(QRectF(0, 0, 0, 0), scale).width() / 2 + 14;
        const QSizeF room(std::max(1.0, width() - 2 * border), std::max(1.0, height() - 2 * border));
        const double aspect = wall::clampedAspect(image_.isNull() ? std::nullopt : wall::aspectOf(image_.width(), image_.height()));
        QSizeF size = QSizeF(aspect * 1000, 1000).scaled(room, Qt::KeepAspectRatio);
        QRectF picture(QPointF(0, 0), size);
        picture.moveCenter(QRectF(rect()).center() - QPointF(0, 4));
        const QSize device = (picture.size() * devicePixelRatioF()).toSize();
        if (!image_.isNull() && scaled_.size() != device) {
            scaled_ = image_.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            scaled_.setDevicePixelRatio(devicePixelRatioF());
        }
        // The picture's own light on the wall behind it, fading out before the widget's edges.
        p.save();
        p.translate(QRectF(rect()).center());
        p.scale(width() / 2.0, height() / 2.0);
        QRadialGradient light(QPointF(0, 0), 1);
        light.setColorAt(0, QColor(255, 236, 204, 36));
        light.setColorAt(1, QColor(255, 236, 204, 0));
        p.fillRect(QRectF(-1, -1, 2, 2), light);
        p.restore();
        paintFramedPicture(p, picture, image_.isNull() ? nullptr : &scaled_, scale, loading_ && image_.isNull());
    }

private:
    void setUnavailable() {
        image_ = scaled_ = QImage();
        unavailable_->show();
        update();
    }

    QLabel* unavailable_;
    QImage image_, scaled_;
    bool loading_ = false;
};

QLabel* value(const QString& text, const char* name) {
    auto* l = label(text);
    l->setObjectName(name);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

}  // namespace

QString detailDateText(const ArtworkRecord& record) {
    return QDateTime::fromSecsSinceEpoch(record.creationDate.time_since_epoch().count()).toString("yyyy-MM-dd");
}

ArtworkDetailView::ArtworkDetailView(AppState& state, ArtworkRecord record, ImageCache& cache,
                                     ChooseExportPath chooseExportPath)
    : state_(state), record_(std::move(record)), chooseExportPath_(std::move(chooseExportPath)) {
    setObjectName("artworkDetail");
    setAttribute(Qt::WA_StyledBackground);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(26, 20, 34, 26);
    auto* back = button("Gallery", "backButton", "link");
    back->setIcon(glyph(Glyph::chevronLeft, 16, palette::paperColor));
    root->addWidget(back, 0, Qt::AlignLeft);

    auto* body = new QHBoxLayout;
    const ArtworkStore* store = state_.artworkStore();
    auto* image = new DetailImage(cache, record_, store ? store->imagePath(record_) : std::nullopt);
    body->addWidget(image, 1);
    body->addSpacing(24);

    auto* side = new QVBoxLayout;
    side->addStretch(1);
    auto* title = label(qs(record_.displayName()), "title");
    title->setObjectName("detailTitle");
    title->setWordWrap(true);
    side->addWidget(title);
    auto* style = label(qs(record_.styleName).toUpper(), "heading");
    side->addWidget(style);
    side->addSpacing(22);
    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(18);
    rows->setVerticalSpacing(12);
    const std::pair<const char*, QLabel*> entries[] = {
        {"Duration", value(qs(wall::durationText(record_.actualDuration)), "durationValue")},
        {"Window", value(qs(record_.windowName), "windowValue")},
        {"Application", value(qs(record_.appName), "applicationValue")},
        {"Date", value(detailDateText(record_), "dateValue")},
    };
    int row = 0;
    for (const auto& [key, valueLabel] : entries) {
        rows->addWidget(label(key, "muted"), row, 0, Qt::AlignTop);
        rows->addWidget(valueLabel, row++, 1);
    }
    rows->setColumnStretch(1, 1);
    side->addLayout(rows);
    side->addSpacing(28);
    auto* exportButton = button("Export PNG", "exportButton");
    exportButton->setIcon(glyph(Glyph::share, 16, palette::paperColor));
    auto* deleteButton = button("Delete", "deleteButton", "danger");
    deleteButton->setIcon(glyph(Glyph::trash, 16, QColor(0xe8, 0xa0, 0x90)));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(exportButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch(1);
    side->addLayout(buttons);
    side->addSpacing(10);
    notice_ = label({}, "notice");
    notice_->setObjectName("detailNotice");
    notice_->setWordWrap(true);
    notice_->hide();
    side->addWidget(notice_);
    side->addStretch(1);
    auto* sideBox = new QWidget;
    sideBox->setFixedWidth(290);
    sideBox->setLayout(side);
    body->addWidget(sideBox);
    root->addLayout(body, 1);

    connect(back, &QPushButton::clicked, this, [this] {
        if (onBack) onBack();
    });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportPng(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] {
        if (onDelete) onDelete();
    });
    setFocusPolicy(Qt::StrongFocus);
}

void ArtworkDetailView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && onBack) return onBack();
    if (e->key() == Qt::Key_Delete && onDelete) return onDelete();
    QWidget::keyPressEvent(e);
}

void ArtworkDetailView::exportPng() {
    if (!chooseExportPath_) return;
    const QString path = chooseExportPath_(this, qs(detailDocumentName(record_)) + ".png");
    if (path.isEmpty()) return;  // cancelled
    std::string failure;
    const ArtworkStore* store = state_.artworkStore();
    auto image = store ? store->loadImage(record_) : Expected<RgbaImage, std::string>(unexpected(std::string("no gallery")));
    if (!image) {
        failure = image.error();
    } else if (auto written = ArtworkDocument(std::move(*image)).write(path.toStdString()); !written) {
        failure = written.error().message();
    }
    if (failure.empty()) return showNotice("Exported to " + QFileInfo(path).fileName(), false);
    const std::string line = "Failed to export artwork: " + failure;
    diagnostic(line);
    showNotice(qs(line), true);
}

void ArtworkDetailView::showNotice(const QString& text, bool failure) {
    notice_->setProperty("role", failure ? "notice" : "muted");
    notice_->style()->unpolish(notice_);
    notice_->style()->polish(notice_);
    notice_->setText(text);
    notice_->setVisible(!text.isEmpty());
}

}  // namespace murmura::ui
