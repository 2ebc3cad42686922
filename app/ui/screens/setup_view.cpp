// "Prepare Exposure": the observed window, the session length and the style, then
// "Begin Exposure". The window list is loaded each time the screen appears.
#include <QButtonGroup>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <array>

#include "app/ui/icons.h"
#include "app/ui/palette.h"
#include "app/ui/screens/screen.h"
#include "window_scope/window_scope_manager.h"

namespace murmura::ui {
namespace {

constexpr std::array<const char*, 8> kStyleOrder{"charcoal", "ink-water", "neon",   "watercolor",
                                                 "graffo",   "popline",   "planara", "skeinfall"};

// One style: its thumbnail in a thin gold frame, its name and series.
class StyleCard final : public QPushButton {
public:
    StyleCard(const StyleDescriptor& style) : name_(qs(style.name)), series_(qs(rawValue(style.series))) {
        setObjectName(qs("style-" + style.id));
        setCheckable(true);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(172, 150);
        thumb_ = QImage(qs(":/thumbnails/style-thumb-" + style.id + ".png"));
        setStyleSheet("border: none; background: transparent;");
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF frame(4, 4, width() - 8, 104);
        // A gold mat when chosen, a faint one otherwise.
        p.setPen(QPen(isChecked() ? palette::gold : QColor(255, 255, 255, underMouse() ? 70 : 28),
                      isChecked() ? 2.4 : 1.0));
        p.setBrush(QColor(0, 0, 0, 60));
        p.drawRoundedRect(frame, 5, 5);
        const QRectF art = frame.adjusted(7, 7, -7, -7);
        if (!thumb_.isNull()) {
            // Crop to the frame's aspect ratio so every thumbnail fills its mat.
            QRectF src(thumb_.rect());
            const double want = art.width() / art.height();
            if (src.width() / src.height() > want) src.setWidth(src.height() * want);
            else src.setHeight(src.width() / want);
            src.moveCenter(QRectF(thumb_.rect()).center());
            p.drawImage(art, thumb_, src);
        }
        p.setPen(isChecked() ? palette::gold : palette::cream);
        QFont f = font();
        f.setPointSizeF(10.5);
        f.setBold(isChecked());
        p.setFont(f);
        p.drawText(QRectF(0, 114, width(), 18), Qt::AlignHCenter, name_);
        f.setPointSizeF(8);
        f.setBold(false);
        f.setCapitalization(QFont::AllUppercase);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
        p.setFont(f);
        p.setPen(QColor(230, 222, 204, 120));
        p.drawText(QRectF(0, 132, width(), 16), Qt::AlignHCenter, series_);
    }

private:
    QString name_, series_;
    QImage thumb_;
};

class SetupView final : public Screen {
public:
    explicit SetupView(UiServices& ui) : Screen(ui, true) {
        auto* root = new QVBoxLayout(this);
        root->setContentsMargins(40, 22, 40, 26);
        root->setSpacing(6);

        auto* header = new QHBoxLayout;
        auto* back = button("Back", "backButton", "link");
        back->setIcon(glyph(Glyph::chevronLeft, 14, palette::cream));
        header->addWidget(back);
        header->addStretch(1);
        auto* title = label("Prepare Exposure", "title");
        header->addWidget(title);
        header->addStretch(1);
        header->addSpacing(back->sizeHint().width());
        root->addLayout(header);
        root->addSpacing(14);

        root->addWidget(label("CHOOSE OBSERVED WINDOW", "heading"));
        auto* pickerRow = new QHBoxLayout;
        picker_ = button({}, "windowPicker");
        picker_->setLayoutDirection(Qt::RightToLeft);  // chevron at the right end
        picker_->setIcon(glyph(Glyph::chevronDown, 14, palette::cream));
        picker_->setStyleSheet("text-align: left; padding-left: 12px;");
        auto* refresh = button({}, "refreshButton");
        refresh->setIcon(glyph(Glyph::refresh, 16, palette::cream));
        refresh->setToolTip("Refresh");
        pickerRow->addWidget(picker_, 1);
        pickerRow->addWidget(refresh);
        root->addLayout(pickerRow);
        list_ = new QListWidget;
        list_->setObjectName("windowList");
        list_->setIconSize(QSize(16, 16));
        list_->hide();
        root->addWidget(list_);
        root->addSpacing(12);

        root->addWidget(label("EXPOSURE TIME", "heading"));
        auto* durations = new QHBoxLayout;
        auto* durationGroup = new QButtonGroup(this);
        for (SessionDuration d : allSessionDurations) {
            auto* b = button(qs(label(d)), qs("duration-" + std::string(label(d))).toUtf8().constData());
            b->setCheckable(true);
            b->setChecked(state_.selectedDuration.value() == d);
            b->setMinimumWidth(96);
            durationGroup->addButton(b);
            durations->addWidget(b);
            connect(b, &QPushButton::clicked, this, [this, d] { state_.selectedDuration.send(d); });
        }
        durations->addStretch(1);
        root->addLayout(durations);
        root->addSpacing(12);

        root->addWidget(label("VISUAL MEDIUM", "heading"));
        auto* cards = new QGridLayout;
        cards->setSpacing(14);
        cards->setAlignment(Qt::AlignHCenter);
        auto* styleGroup = new QButtonGroup(this);
        int n = 0;
        for (const char* id : kStyleOrder) {
            const auto& all = state_.styleRegistry().descriptors();
            auto it = std::find_if(all.begin(), all.end(), [&](const StyleDescriptor& d) { return d.id == id; });
            if (it == all.end()) continue;  // not registered: not offered
            auto* card = new StyleCard(*it);
            card->setChecked(state_.selectedStyleID.value() == it->id);
            styleGroup->addButton(card);
            cards->addWidget(card, n / 4, n % 4);
            ++n;
            connect(card, &QPushButton::clicked, this, [this, styleID = it->id] { state_.selectedStyleID.send(styleID); });
        }
        root->addLayout(cards);
        root->addStretch(1);

        error_ = label({}, "notice");
        error_->setObjectName("errorMessage");
        error_->setAlignment(Qt::AlignCenter);
        error_->setWordWrap(true);
        root->addWidget(error_);
        begin_ = button("Begin Exposure", "beginButton", "primary");
        begin_->setMinimumWidth(240);
        auto* dim = new QGraphicsOpacityEffect(begin_);
        begin_->setGraphicsEffect(dim);
        root->addWidget(begin_, 0, Qt::AlignHCenter);

        connect(back, &QPushButton::clicked, this, [this] { state_.phase.send(AppState::Phase::gallery); });
        connect(picker_, &QPushButton::clicked, this, [this] { list_->setVisible(!list_->isVisible()); });
        connect(refresh, &QPushButton::clicked, this, [this] { loadWindows(); });
        connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { choose(list_->row(item)); });
        connect(begin_, &QPushButton::clicked, this, [this] { state_.beginSession(); });
        keep(state_.selectedWindow.subscribe([this, dim](const std::optional<WindowDescriptor>& w) {
            picker_->setText(w ? qs(w->id == 0 ? std::string("All Windows") : w->displayName()) : "Select a window…");
            dim->setOpacity(w ? 1.0 : 0.5);
        }));
        keep(state_.errorMessage.subscribe([this](const std::optional<std::string>&) { showError(); }));
        loadWindows();
    }

private:
    void loadWindows() {
        list_->clear();
        windows_.clear();
        listFailed_ = false;
        auto provider = ui_.captureBackend.makeWindowProvider ? ui_.captureBackend.makeWindowProvider(ui_.scheduler)
                                                              : nullptr;
        displayBounds_ = SessionCoordinator::fallbackFrame;
        if (provider) {
            if (auto bounds = provider->mainDisplayBounds()) displayBounds_ = *bounds;
            WindowScopeManager manager(provider);
            if (auto listed = manager.listWindows()) windows_ = std::move(*listed);
            else listFailed_ = true;
        } else {
            listFailed_ = true;
        }
        showError();
        auto* all = new QListWidgetItem(glyph(Glyph::grid, 16, palette::gold), "All Windows", list_);
        all->setData(Qt::UserRole, -1);
        for (size_t i = 0; i < windows_.size(); ++i) {
            const auto& w = windows_[i];
            auto* item = new QListWidgetItem(glyph(Glyph::window, 16, palette::cream),
                                             qs(w.title.value_or("Untitled")) + "   —   " + qs(w.ownerName.value_or("")),
                                             list_);
            item->setData(Qt::UserRole, int(i));
        }
        // As tall as its rows, up to six of them.
        list_->setFixedHeight(std::min(list_->count() + int(windows_.empty()), 6) * 30 + 8);
        if (windows_.empty()) {
            auto* none = new QListWidgetItem("No windows available", list_);
            none->setFlags(Qt::NoItemFlags);
            none->setData(Qt::UserRole, -2);
        }
    }

    // The session's failure and a failed window listing share the notice line (the listing's
    // failure is kept here: only the session flow writes the state's message).
    void showError() {
        QStringList lines;
        if (const auto& m = state_.errorMessage.value()) lines << qs(*m);
        if (listFailed_) lines << "Failed to list windows";
        error_->setText(lines.join("\n"));
        error_->setVisible(!lines.isEmpty());
    }

    void choose(int row) {
        const int index = list_->item(row)->data(Qt::UserRole).toInt();
        if (index == -2) return;
        if (index == -1)
            state_.selectedWindow.send(WindowDescriptor{WindowScopeManager::allWindowsID, std::nullopt, "All Windows",
                                                        displayBounds_, true});
        else
            state_.selectedWindow.send(windows_[size_t(index)]);
        list_->hide();
    }

    QPushButton* picker_;
    QListWidget* list_;
    QLabel* error_;
    QPushButton* begin_;
    std::vector<WindowDescriptor> windows_;
    Rect displayBounds_ = SessionCoordinator::fallbackFrame;
    bool listFailed_ = false;
};

}  // namespace

Screen* makeSetupView(UiServices& ui) { return new SetupView(ui); }

}  // namespace murmura::ui
