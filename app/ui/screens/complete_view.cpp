// "Artwork Complete": the new image, its title, export and the way back to the gallery.
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"
#include "gallery/artwork_exporter.h"

namespace murmura::ui {
namespace {

// The artwork scaled to fit, with a thin gold frame and a soft shadow, on the wall.
class FramedImage final : public QWidget {
public:
    explicit FramedImage(QImage image) : image_(std::move(image)) {
        setObjectName("artworkImage");
        setMinimumSize(320, 220);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QSizeF size = QSizeF(image_.size()).scaled(QSizeF(std::max(1, width() - 40), std::max(1, height() - 40)), Qt::KeepAspectRatio);
        QRectF art(QPointF(0, 0), size);
        art.moveCenter(QRectF(rect()).center());
        const QRectF frame = art.adjusted(-7, -7, 7, 7);
        p.setPen(Qt::NoPen);
        for (int i = 10; i > 0; --i) {  // soft shadow below the frame
            p.setBrush(QColor(0, 0, 0, 9));
            p.drawRoundedRect(frame.adjusted(-i, -i + 5, i, i + 5), i, i);
        }
        p.setPen(QPen(palette::accentGold, 2));
        p.setBrush(palette::wallColor.lighter(135));  // the mat between frame and image
        p.drawRect(frame);
        p.drawImage(art, image_);
    }

private:
    QImage image_;
};

class CompleteView final : public Screen {
public:
    explicit CompleteView(UiServices& ui) : Screen(ui) {
        auto* root = new QVBoxLayout(this);
        root->setContentsMargins(40, 24, 40, 24);
        auto* title = label("Artwork Complete", "title");
        title->setAlignment(Qt::AlignCenter);
        root->addWidget(title);
        root->addSpacing(8);
        const auto& artwork = state_.artwork.value();
        if (artwork) {
            root->addWidget(new FramedImage(toQImage(*artwork)), 1);
        } else {
            auto* none = label("No artwork generated", "muted");
            none->setObjectName("noArtwork");
            none->setAlignment(Qt::AlignCenter);
            root->addWidget(none, 1);
        }
        root->addSpacing(10);
        auto* heading = label("TITLE", "heading");
        heading->setAlignment(Qt::AlignCenter);
        root->addWidget(heading);
        name_ = new QLineEdit;
        name_->setObjectName("titleField");
        name_->setPlaceholderText("Untitled");
        name_->setAlignment(Qt::AlignCenter);
        name_->setFixedWidth(360);
        if (const auto& record = state_.currentArtwork.value()) name_->setText(qs(record->displayName()));
        root->addWidget(name_, 0, Qt::AlignHCenter);
        notice_ = label({}, "notice");
        notice_->setObjectName("notice");
        notice_->setAlignment(Qt::AlignCenter);
        notice_->hide();
        root->addWidget(notice_);
        root->addSpacing(12);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        auto* exportButton = button("Export", "exportButton");
        exportButton->setIcon(glyph(Glyph::share, 16, palette::paperColor));
        exportButton->setEnabled(artwork != nullptr);
        auto* gallery = button("Gallery", "galleryButton", "primary");
        buttons->addWidget(exportButton);
        buttons->addSpacing(12);
        buttons->addWidget(gallery);
        buttons->addStretch(1);
        root->addLayout(buttons);

        connect(name_, &QLineEdit::returnPressed, this, [this] { rename(); });
        connect(exportButton, &QPushButton::clicked, this, [this] { exportArtwork(); });
        connect(gallery, &QPushButton::clicked, this, [this] {
            rename();
            state_.returnToGallery();
        });
        keep(state_.storageNotice.subscribe([this](const std::optional<StorageNotice>& n) {
            if (n) showNotice(qs(n->message));
        }));
    }

private:
    void rename() { state_.renameCurrentArtwork(name_->text().toStdString()); }

    void exportArtwork() {
        const auto& artwork = state_.artwork.value();
        if (!artwork || !ui_.chooseExportPath) return;
        const QString path = ui_.chooseExportPath(this, "murmura-artwork.png");
        if (path.isEmpty()) return;  // cancelled
        const auto format = path.endsWith(".pdf", Qt::CaseInsensitive) ? ArtworkExporter::ExportFormat::pdf
                                                                        : ArtworkExporter::ExportFormat::png;
        auto written = ArtworkExporter::exportImage(*artwork, path.toStdString(), format);
        if (written) {
            notice_->setProperty("role", "muted");
            showNotice("Exported to " + path);
        } else {
            notice_->setProperty("role", "notice");
            showNotice(qs("Failed to export artwork: " + written.error().message()));
        }
    }

    void showNotice(const QString& text) {
        notice_->style()->unpolish(notice_);
        notice_->style()->polish(notice_);
        notice_->setText(text);
        notice_->show();
    }

    QLineEdit* name_;
    QLabel* notice_;
};

}  // namespace

Screen* makeCompleteView(UiServices& ui) { return new CompleteView(ui); }

}  // namespace murmura::ui
