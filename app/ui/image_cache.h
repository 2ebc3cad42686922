#pragma once
// The gallery's decoded artworks. A stored artwork is typically a 4K PNG (33 MB decoded), so
// the wall keeps only display-size copies: decoded and scaled on worker threads, kept while
// the gallery lives, up to a memory budget beyond which the copies used longest ago are
// dropped (and decoded again when they come back into view). Full-size images (for the detail
// screen) are loaded the same way and handed over, never kept. Main thread only; results
// arrive on the main thread.
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <filesystem>
#include <functional>
#include <optional>

namespace murmura::ui {

class ImageCache final : public QObject {
public:
    enum class Status { notRequested, loading, ready, unavailable };

    // Display copies fit within maxDisplaySize (device pixels), never larger than the source,
    // and hold at most budgetBytes together.
    ImageCache(QSize maxDisplaySize, qint64 budgetBytes);
    // Drops loads not yet started and waits for the running ones.
    ~ImageCache() override;

    // Called on the main thread when a requested display copy arrived or turned out unavailable.
    std::function<void(const QString& id)> onChange;

    // The display copy of artwork `id` stored at `path`, or null; the first call starts its
    // load. No path (a record naming no usable file) is unavailable at once.
    const QImage* image(const QString& id, const std::optional<std::filesystem::path>& path);
    Status status(const QString& id) const;
    // The size the file's header states (read once, on this thread: a few hundred bytes), or
    // nothing when it cannot be read or the image turned out not to decode.
    std::optional<QSize> sourceSize(const QString& id, const std::optional<std::filesystem::path>& path);
    // Decodes the whole image on a worker and hands it to done on the main thread (a null
    // image when it cannot be read), unless this cache is gone by then.
    void loadFullSize(const std::filesystem::path& path, std::function<void(QImage)> done);
    // Lets images that failed be tried again (the files may have changed).
    void retryUnavailable();
    // Bytes held by the display copies.
    qint64 cachedBytes() const { return cachedBytes_; }
    // Display copies asked for and not yet decoded.
    int loadsInFlight() const { return inFlight_; }

private:
    struct Entry {
        Status status = Status::notRequested;
        QImage image;
        std::optional<QSize> size;
        bool sizeRead = false;
        quint64 lastUse = 0;
    };
    void finished(const QString& id, QImage image);

    QSize maxDisplaySize_;
    QHash<QString, Entry> entries_;
    void trim();

    qint64 budgetBytes_;
    qint64 cachedBytes_ = 0;
    quint64 uses_ = 0;
    int inFlight_ = 0;
    QThreadPool pool_;
};

// Decodes an image file, scaled to fit within maxSize when given (never enlarged), as
// premultiplied ARGB; a null image when the file cannot be read or decoded.
QImage decodeImageFile(const QString& path, std::optional<QSize> maxSize);

}  // namespace murmura::ui
