#include "app/ui/image_cache.h"

#include <QImageReader>
#include <QThread>
#include <algorithm>

namespace murmura::ui {
namespace {

QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

QImage decodeImageFile(const QString& path, std::optional<QSize> maxSize) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize source = reader.size();
    if (!source.isValid() || source.isEmpty()) return {};
    if (maxSize && (source.width() > maxSize->width() || source.height() > maxSize->height()))
        reader.setScaledSize(source.scaled(*maxSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull()) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

ImageCache::ImageCache(QSize maxDisplaySize, qint64 budgetBytes)
    : maxDisplaySize_(maxDisplaySize), budgetBytes_(budgetBytes) {
    // Two decoders keep the wall filling while leaving a core to the interface.
    pool_.setMaxThreadCount(std::clamp(QThread::idealThreadCount() / 2, 1, 2));
}

ImageCache::~ImageCache() {
    pool_.clear();
    pool_.waitForDone();
}

const QImage* ImageCache::image(const QString& id, const std::optional<std::filesystem::path>& path) {
    Entry& e = entries_[id];
    e.lastUse = ++uses_;
    if (e.status == Status::ready) return &e.image;
    if (e.status != Status::notRequested) return nullptr;
    if (!path) {
        e.status = Status::unavailable;
        return nullptr;
    }
    e.status = Status::loading;
    ++inFlight_;
    const QString file = qpath(*path);
    const QSize maxSize = maxDisplaySize_;
    pool_.start([this, id, file, maxSize] {
        QImage decoded = decodeImageFile(file, maxSize);
        QMetaObject::invokeMethod(this, [this, id, decoded = std::move(decoded)]() mutable { finished(id, std::move(decoded)); },
                                  Qt::QueuedConnection);
    });
    return nullptr;
}

void ImageCache::finished(const QString& id, QImage image) {
    --inFlight_;
    Entry& e = entries_[id];
    // A failed decode caches nothing: the entry only remembers not to try again until asked.
    e.status = image.isNull() ? Status::unavailable : Status::ready;
    e.image = std::move(image);
    cachedBytes_ += e.image.sizeInBytes();
    trim();
    if (onChange) onChange(id);
}

void ImageCache::trim() {
    while (cachedBytes_ > budgetBytes_) {
        Entry* oldest = nullptr;
        for (Entry& e : entries_)
            if (e.status == Status::ready && (!oldest || e.lastUse < oldest->lastUse)) oldest = &e;
        if (!oldest) return;
        cachedBytes_ -= oldest->image.sizeInBytes();
        oldest->image = QImage();
        oldest->status = Status::notRequested;
    }
}

ImageCache::Status ImageCache::status(const QString& id) const {
    const auto it = entries_.constFind(id);
    return it == entries_.cend() ? Status::notRequested : it->status;
}

std::optional<QSize> ImageCache::sourceSize(const QString& id, const std::optional<std::filesystem::path>& path) {
    Entry& e = entries_[id];
    if (e.status == Status::unavailable) return std::nullopt;
    if (!e.sizeRead && path) {
        e.sizeRead = true;
        const QSize size = QImageReader(qpath(*path)).size();
        if (size.isValid() && !size.isEmpty()) e.size = size;
    }
    return e.size;
}

void ImageCache::loadFullSize(const std::filesystem::path& path, std::function<void(QImage)> done) {
    const QString file = qpath(path);
    pool_.start([this, file, done = std::move(done)] {
        QImage decoded = decodeImageFile(file, std::nullopt);
        QMetaObject::invokeMethod(this, [done, decoded = std::move(decoded)] { done(decoded); }, Qt::QueuedConnection);
    });
}

void ImageCache::retryUnavailable() {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->status != Status::unavailable) continue;
        it->status = Status::notRequested;
        it->sizeRead = false;
    }
}

}  // namespace murmura::ui
