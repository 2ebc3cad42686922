// The gallery as a plain list of the stored artworks, newest first, and the way to a new session.
#include <QDateTime>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"

namespace murmura::ui {
namespace {

class GalleryListView final : public Screen {
public:
    explicit GalleryListView(UiServices& ui) : Screen(ui) {
        auto* root = new QVBoxLayout(this);
        root->setContentsMargins(40, 26, 40, 26);
        auto* header = new QHBoxLayout;
        header->addWidget(label("Gallery", "title"));
        header->addStretch(1);
        auto* start = button("New Session", "newSessionButton", "primary");
        header->addWidget(start);
        root->addLayout(header);
        root->addSpacing(12);
        list_ = new QListWidget;
        list_->setObjectName("artworkList");
        list_->setIconSize(QSize(96, 60));
        list_->setSpacing(3);
        root->addWidget(list_, 1);
        empty_ = label("No artworks yet. Start a session to make your first one.", "muted");
        empty_->setObjectName("emptyGallery");
        empty_->setAlignment(Qt::AlignCenter);
        root->addWidget(empty_, 1);
        notice_ = label({}, "notice");
        notice_->setObjectName("notice");
        root->addWidget(notice_);
        connect(start, &QPushButton::clicked, this, [this] { state_.prepareNewSession(); });
        keep(state_.catalogRevision.subscribe([this](uint64_t) { reload(); }));
        keep(state_.storageNotice.subscribe([this](const std::optional<StorageNotice>& n) {
            notice_->setText(n ? qs(n->message) : QString());
            notice_->setVisible(n.has_value());
        }));
    }

private:
    void reload() {
        list_->clear();
        const ArtworkStore* store = state_.artworkStore();
        const auto& records = store ? store->records() : std::vector<ArtworkRecord>{};
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            const ArtworkRecord& r = *it;
            QPixmap thumb;
            if (auto image = store->loadImage(r))
                thumb = QPixmap::fromImage(toQImage(*image).scaled(192, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            const auto when = QDateTime::fromSecsSinceEpoch(r.creationDate.time_since_epoch().count());
            auto* item = new QListWidgetItem(QIcon(thumb),
                                             qs(r.displayName()) + "\n" + qs(r.styleName) + "  ·  " +
                                                 when.toString("d MMM yyyy, HH:mm") + "  ·  " +
                                                 remainingText(r.actualDuration, 0) + " recorded",
                                             list_);
            item->setData(Qt::UserRole, qs(r.id.toString()));
        }
        list_->setVisible(!records.empty());
        empty_->setVisible(records.empty());
    }

    QListWidget* list_;
    QLabel* empty_;
    QLabel* notice_;
};

}  // namespace

Screen* makeGalleryView(UiServices& ui) { return new GalleryListView(ui); }

}  // namespace murmura::ui
