// murmura-cli gallery list|rename|delete|export: the stored artworks.
#include <filesystem>
#include <ostream>

#include "cli/commands/commands.h"
#include "gallery/artwork_exporter.h"
#include "gallery/artwork_finishing.h"
#include "support/text.h"

namespace murmura::cli {

Option dataDirOption() {
    return {.name = "data-dir",
            .valueName = "DIR",
            .help = "gallery base directory (default: $XDG_DATA_HOME or ~/.local/share)",
            .validate = notEmpty()};
}

ArtworkStore openStore(const Args& args, Context& ctx) {
    std::optional<std::filesystem::path> base;
    if (auto dir = args.get("data-dir")) {
        base = *dir;
    } else {
        base = ArtworkStore::baseDirectoryFor(ctx.env("XDG_DATA_HOME"), ctx.env("HOME"));
        if (!base) {
            const ArtworkStore::StoreError none{ArtworkStore::StoreError::Code::directoryCreationFailed, {}, "no home directory"};
            fail(args.command + ": " + withDetail(none.message(), none.detail));
        }
    }
    auto store = ArtworkStore::open(*base);
    if (!store) fail(args.command + ": " + withDetail(store.error().message(), store.error().detail));
    if (store->catalogLoadFailed()) fail("");
    return std::move(store).value();
}

namespace {

Uuid artworkID(const Args& args) {
    const std::string& text = args.positional[0];
    auto id = Uuid::parse(text);
    if (!id) fail(args.command + ": \"" + text + "\" is not an artwork ID (a UUID such as those 'gallery list' shows)");
    return *id;
}

const ArtworkRecord& existingRecord(const Args& args, const ArtworkStore& store, const Uuid& id) {
    const ArtworkRecord* record = store.record(id);
    if (!record) fail(args.command + ": " + ArtworkStore::StoreError::artworkNotFound(id).message());
    return *record;
}

std::optional<std::filesystem::path> availableImage(const ArtworkStore& store, const ArtworkRecord& record) {
    const auto image = store.imagePath(record);
    std::error_code ec;
    if (image && std::filesystem::is_regular_file(*image, ec)) return image;
    return std::nullopt;
}

Json listedRecord(const ArtworkStore& store, const ArtworkRecord& record) {
    Json j = encode(record);
    j["displayName"] = record.displayName();
    const auto image = availableImage(store, record);
    j["imageFile"] = image ? Json(image->string()) : Json(nullptr);
    return j;
}

int list(const Args& args, Context& ctx) {
    const ArtworkStore store = openStore(args, ctx);
    if (args.has("json")) {
        Json out = Json::array();
        for (const ArtworkRecord& r : store.records()) out.push_back(listedRecord(store, r));
        printJson(ctx, out);
        return 0;
    }
    for (const ArtworkRecord& r : store.records())
        ctx.out << r.id.toString() << "  " << formatCatalogDate(r.creationDate) << "  " << r.styleID << "  "
                << r.displayName() << (availableImage(store, r) ? "" : "  (image unavailable)") << '\n';
    return 0;
}

int rename(const Args& args, Context& ctx) {
    const Uuid id = artworkID(args);
    const std::string& typed = args.positional[1];
    if (!isValidUtf8(typed)) fail(args.command + ": NAME is not valid UTF-8 text");
    ArtworkStore store = openStore(args, ctx);
    const ArtworkRecord& record = existingRecord(args, store, id);
    auto renamed = store.updateCustomName(id, customNameForRename(typed, record));
    if (!renamed) fail(args.command + ": Failed to rename artwork: " + renamed.error().message());
    printJson(ctx, listedRecord(store, *renamed));
    return 0;
}

int remove(const Args& args, Context& ctx) {
    const Uuid id = artworkID(args);
    ArtworkStore store = openStore(args, ctx);
    auto deleted = store.deleteArtwork(id);
    if (!deleted) {
        const bool missing = deleted.error().code == ArtworkStore::StoreError::Code::artworkNotFound;
        fail(args.command + ": " + (missing ? "" : "Failed to delete artwork: ") + deleted.error().message());
    }
    return 0;
}

int exportArtwork(const Args& args, Context& ctx) {
    const Uuid id = artworkID(args);
    const auto format = *ArtworkExporter::formatNamed(args.value("format"));
    const ArtworkStore store = openStore(args, ctx);
    const ArtworkRecord& record = existingRecord(args, store, id);
    auto image = store.loadImage(record);
    if (!image) fail(args.command + ": artwork " + id.toString() + ": image unavailable: " + image.error());
    const std::string file = args.get("out").value_or(ArtworkExporter::defaultFilename(format));
    auto bytes = ArtworkExporter::encode(*image, format);
    if (!bytes) fail(args.command + ": " + file + ": " + withDetail(bytes.error().message(), bytes.error().detail));
    if (auto written = writeOutputFile(ctx, file, *bytes); !written) {
        // The file is first created as a temporary one beside the destination.
        const bool created = written.error().rfind("Cannot create", 0) != 0;
        const ArtworkExporter::ExportError error{created ? ArtworkExporter::ExportError::Code::writeFailed
                                                         : ArtworkExporter::ExportError::Code::destinationCreationFailed,
                                                 written.error()};
        fail(args.command + ": " + file + ": " + withDetail(error.message(), error.detail));
    }
    ctx.out << file << '\n';
    return 0;
}

Validator exportFormat() {
    return [](const std::string& text) -> std::optional<std::string> {
        if (ArtworkExporter::formatNamed(text)) return std::nullopt;
        return "expects png or pdf, got \"" + text + "\"";
    };
}

}  // namespace

Command galleryCommand() {
    return Command{
        .name = "gallery",
        .summary = "list and manage the stored artworks",
        .description = "Works on the artworks stored in DIR/Murmura/Artworks.",
        .run = {},
        .actions =
            {
                {.name = "list",
                 .description = "one line per artwork: ID, creation date (UTC), style, title; with --json the\n"
                                "records as a JSON array, each with its \"displayName\" and \"imageFile\" (null\n"
                                "when the image is unavailable)",
                 .options = {{.name = "json", .help = "the records as JSON"}, dataDirOption()},
                 .run = list},
                {.name = "rename",
                 .description = "sets the title; NAME is trimmed, and empty or the artwork's application name\n"
                                "clears it; prints the updated record as JSON",
                 .positionals = {{"ID", ""}, {"NAME", ""}},
                 .options = {dataDirOption()},
                 .run = rename},
                {.name = "delete",
                 .description = "removes the artwork's record and image file",
                 .positionals = {{"ID", ""}},
                 .options = {dataDirOption()},
                 .run = remove},
                {.name = "export",
                 .description = "writes the artwork as PNG or one-page PDF (one pixel per point) to FILE\n"
                                "(default: murmura-<local date and time>.png|pdf in the current directory);\n"
                                "prints the file written",
                 .positionals = {{"ID", ""}},
                 .options = {{.name = "format", .valueName = "png|pdf", .help = "the file's format",
                              .validate = exportFormat(), .required = true},
                             {.name = "out", .valueName = "FILE", .help = "the file to write"},
                             dataDirOption()},
                 .run = exportArtwork},
            },
    };
}

}  // namespace murmura::cli
