// The home screen: the wall of stored artworks, the detail of one, and the confirmation before
// one is deleted.
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <memory>

#include "app/gallery_wall.h"
#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/artwork_detail_view.h"
#include "app/ui/screens/screen.h"
#include "app/ui/screens/wall_view.h"

namespace murmura::ui {
namespace {

// Display copies: the largest picture the wall shows (440 points wide, at most 0.36 of a tall
// window high) at the screen's density, so a 4K artwork is held in under half a megabyte;
// 128 MiB of them hold about 300 artworks.
QSize displaySize() { return QSize(440, 330) * std::max(1.0, qApp->devicePixelRatio()); }
constexpr qint64 kCacheBudget = qint64(128) << 20;

// "Delete Artwork": a card over the dimmed screen. Escape or "Cancel" keeps the artwork.
class DeleteAlert final : public QWidget {
public:
    explicit DeleteAlert(QWidget* parent) : QWidget(parent) {
        setObjectName("deleteAlert");
        auto* card = new QWidget;
        card->setObjectName("alertCard");
        card->setAttribute(Qt::WA_StyledBackground);
        card->setFixedWidth(380);
        auto* box = new QVBoxLayout(card);
        box->setContentsMargins(26, 22, 26, 20);
        auto* title = label("Delete Artwork", "title");
        title->setObjectName("alertTitle");
        box->addWidget(title);
        auto* message = label("This artwork will be permanently removed from your gallery.", "muted");
        message->setWordWrap(true);
        box->addWidget(message);
        box->addSpacing(16);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        cancel_ = button("Cancel", "cancelDeleteButton");
        auto* confirm = button("Delete", "confirmDeleteButton", "dangerPrimary");
        buttons->addWidget(cancel_);
        buttons->addWidget(confirm);
        box->addLayout(buttons);
        auto* centre = new QVBoxLayout(this);
        centre->addWidget(card, 0, Qt::AlignCenter);
        connect(cancel_, &QPushButton::clicked, this, [this] { dismiss(); });
        connect(confirm, &QPushButton::clicked, this, [this] {
            const Uuid id = id_;
            dismiss();
            if (onConfirm) onConfirm(id);
        });
        hide();
    }

    void ask(const Uuid& id) {
        id_ = id;
        setGeometry(parentWidget()->rect());
        raise();
        show();
        cancel_->setFocus();  // the safe choice is the one Return presses
    }
    void dismiss() {
        hide();
        if (onDismiss) onDismiss();
    }

    std::function<void(const Uuid&)> onConfirm;
    std::function<void()> onDismiss;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 0, 0, 150)); }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape) return dismiss();
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            if (auto* b = qobject_cast<QPushButton*>(focusWidget())) return b->click();
        }
        QWidget::keyPressEvent(e);
    }

private:
    Uuid id_;
    QPushButton* cancel_;
};

class GalleryView final : public Screen {
public:
    explicit GalleryView(UiServices& ui) : Screen(ui), cache_(displaySize(), kCacheBudget) {
        stack_ = new QStackedLayout(this);
        wall_ = new WallView(cache_);
        stack_->addWidget(wall_);
        buildWallControls();
        alert_ = new DeleteAlert(this);
        alert_->onConfirm = [this](const Uuid& id) { deleteArtwork(id); };
        alert_->onDismiss = [this] { (detail_ ? static_cast<QWidget*>(detail_) : wall_)->setFocus(); };

        wall_->onOpen = [this](int index) { openDetail(index); };
        wall_->onDelete = [this](int index) { alert_->ask(records()[size_t(index)].id); };
        cache_.onChange = [this](const QString&) { wall_->update(); };
        // Other processes (murmura-cli) may have changed the gallery since it was last shown.
        if (ArtworkStore* store = state_.artworkStore()) store->reload();
        keep(state_.catalogRevision.subscribe([this](uint64_t) { reload(); }));
        keep(state_.storageNotice.subscribe([this](const std::optional<StorageNotice>& n) {
            const QString text = n ? qs(n->message) : QString();
            notice_->setText(text);
            notice_->setVisible(n.has_value() && !detail_);
            if (detail_ && n) detail_->showNotice(text, true);
        }));
        wall_->setFocus();
    }

    void retire() override {
        Screen::retire();
        cache_.onChange = nullptr;
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        Screen::resizeEvent(e);
        if (alert_->isVisible()) alert_->setGeometry(rect());
    }

private:
    const std::vector<ArtworkRecord>& records() const {
        static const std::vector<ArtworkRecord> none;
        const ArtworkStore* store = state_.artworkStore();
        return store ? store->records() : none;
    }

    void buildWallControls() {
        auto* layout = new QVBoxLayout(wall_);
        layout->setContentsMargins(34, 26, 34, 22);
        topRow_ = new QHBoxLayout;
        topRow_->addStretch(1);
        newExposure_ = button("New Exposure", "newSessionButton", "primary");
        newExposure_->setIcon(glyph(Glyph::plus, 14, palette::ink));
        topRow_->addWidget(newExposure_);
        layout->addLayout(topRow_);
        layout->addStretch(3);
        emptyBox_ = new QWidget;
        auto* empty = new QVBoxLayout(emptyBox_);
        auto* emptyTitle = label("No artworks yet", "title");
        emptyTitle->setObjectName("emptyGallery");
        emptyTitle->setAlignment(Qt::AlignCenter);
        auto* emptyHint = label("Choose a window, work as usual, and your activity becomes a picture.", "muted");
        emptyHint->setAlignment(Qt::AlignCenter);
        empty->addWidget(emptyTitle);
        empty->addWidget(emptyHint);
        empty->addSpacing(14);
        emptyButtonRow_ = new QHBoxLayout;
        empty->addLayout(emptyButtonRow_);
        layout->addWidget(emptyBox_, 0, Qt::AlignHCenter);
        layout->addStretch(4);
        notice_ = label({}, "notice");
        notice_->setObjectName("notice");
        notice_->setAlignment(Qt::AlignCenter);
        notice_->setWordWrap(true);
        notice_->hide();
        layout->addWidget(notice_);
        connect(newExposure_, &QPushButton::clicked, this, [this] { state_.prepareNewSession(); });
    }

    void reload() {
        const auto& list = records();
        std::vector<WallView::Item> items;
        items.reserve(list.size());
        const ArtworkStore* store = state_.artworkStore();
        for (const ArtworkRecord& r : list) {
            const QString caption = (qs(r.styleName) + "  ·  " + detailDateText(r)).toUpper();
            items.push_back({qs(r.id.toString()), qs(r.displayName()), caption, store->imagePath(r)});
        }
        cache_.retryUnavailable();
        const bool first = !loaded_;
        loaded_ = true;
        wall_->setItems(std::move(items));
        if (first) wall_->focusOn(wall_->count() - 1, false, false);  // the newest artwork
        // An empty wall says so, and offers the way to the first artwork in the middle of it.
        const bool empty = list.empty();
        emptyBox_->setVisible(empty);
        (empty ? emptyButtonRow_ : topRow_)->addWidget(newExposure_, 0, Qt::AlignHCenter);
    }

    void openDetail(int index) {
        if (index < 0 || size_t(index) >= records().size()) return;
        closeDetail();
        detail_ = new ArtworkDetailView(state_, records()[size_t(index)], cache_, ui_.chooseExportPath);
        detail_->onBack = [this] { closeDetail(); };
        detail_->onDelete = [this] { alert_->ask(detail_->record().id); };
        stack_->addWidget(detail_);
        stack_->setCurrentWidget(detail_);
        notice_->hide();
        // The detail fades in.
        auto* fade = new QGraphicsOpacityEffect(detail_);
        detail_->setGraphicsEffect(fade);
        auto* animation = new QPropertyAnimation(fade, "opacity", detail_);
        animation->setDuration(250);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        QPointer<ArtworkDetailView> detail(detail_);
        connect(animation, &QPropertyAnimation::finished, this, [detail] {
            if (detail) detail->setGraphicsEffect(nullptr);
        });
        animation->start(QAbstractAnimation::DeleteWhenStopped);
        detail_->setFocus();
    }

    void closeDetail() {
        if (!detail_) return;
        stack_->setCurrentWidget(wall_);
        stack_->removeWidget(detail_);
        detail_->hide();
        detail_->setParent(nullptr);  // out of the screen's children now; deleted once its handlers return
        detail_->deleteLater();
        detail_ = nullptr;
        wall_->setFocus();
    }

    void deleteArtwork(const Uuid& id) {
        if (!state_.artworkStore()) return;  // no gallery: nothing to delete
        // On failure the state prints "Failed to delete artwork: ..." and publishes the notice;
        // the detail stays open with it.
        if (state_.deleteArtwork(id)) closeDetail();
    }

    ImageCache cache_;
    QStackedLayout* stack_;
    WallView* wall_;
    ArtworkDetailView* detail_ = nullptr;
    DeleteAlert* alert_;
    QPushButton* newExposure_;
    QHBoxLayout* topRow_;
    QHBoxLayout* emptyButtonRow_;
    QWidget* emptyBox_;
    QLabel* notice_;
    bool loaded_ = false;
};

}  // namespace

Screen* makeGalleryView(UiServices& ui) { return new GalleryView(ui); }

}  // namespace murmura::ui
