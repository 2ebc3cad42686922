#pragma once
// One artwork up close: the picture at full size in its frame, its metadata, "Export PNG" and
// "Delete". Deleting is asked by the gallery, which owns the confirmation.
#include <QLabel>
#include <QWidget>
#include <functional>

#include "app/app_state.h"
#include "app/ui/image_cache.h"

namespace murmura::ui {

class ArtworkDetailView final : public QWidget {
public:
    using ChooseExportPath = std::function<QString(QWidget* parent, const QString& suggestedName)>;
    ArtworkDetailView(AppState& state, ArtworkRecord record, ImageCache& cache, ChooseExportPath chooseExportPath);

    const ArtworkRecord& record() const { return record_; }
    // A failure is shown in the notice colour, anything else muted.
    void showNotice(const QString& text, bool failure);

    std::function<void()> onBack;
    std::function<void()> onDelete;

protected:
    // Escape goes back to the wall; Delete asks to delete.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void exportPng();

    AppState& state_;
    ArtworkRecord record_;
    ChooseExportPath chooseExportPath_;
    QLabel* notice_;
};

// The "Date" row's text: the creation date as yyyy-MM-dd in the local time zone.
QString detailDateText(const ArtworkRecord& record);

}  // namespace murmura::ui
