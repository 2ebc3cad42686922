// murmura-cli gallery list|rename|delete|export: the stored artworks.
#include <filesystem>
#include <ostream>

#include "cli/commands/commands.h"
#include "gallery/artwork_exporter.h"
#include "gallery/artwork_finishing.h"
#include "gallery/output_paths.h"
#include "support/atomic_file.h"
#include "support/text.h"

namespace murmura::cli {

Option dataDirOption() {
    return {.name = "data-dir",
            .valueName = "DIR",
            .help = "gallery base directory (default: $XDG_DATA_HOME or ~/.local/share)",
            .validate = notEmpty()};
}

namespace {

std::optional<std::filesystem::path> galleryBase(const Args& args, Context& ctx) {
    if (auto dir = args.get("data-dir")) return std::filesystem::path(*dir);
    // A context without an environment (an embedding caller, a test) has no variables set.
    auto env = [&](const char* name) { return ctx.env ? ctx.env(name) : std::nullopt; };
    return ArtworkStore::baseDirectoryFor(env("XDG_DATA_HOME"), env("HOME"));
}

}  // namespace

void checkOutputPath(const Args& args, Context& ctx, const std::string& path) {
    if (const auto base = galleryBase(args, ctx))
        if (auto outside = checkOutputOutsideGallery(path, *base / "Murmura" / "Artworks"); !outside)
            fail(args.command + ": " + outside.error());
    if (auto writable = checkOutputWritable(path); !writable) fail(args.command + ": " + writable.error());
}

ArtworkStore openStore(const Args& args, Context& ctx) {
    const std::optional<std::filesystem::path> base = galleryBase(args, ctx);
    if (!base) {
        const ArtworkStore::StoreError none{ArtworkStore::StoreError::Code::directoryCreationFailed, {}, "no home directory"};
        fail(args.command + ": " + withDetail(none.message(), none.detail));
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
    // Names come from catalogs and window titles: escaped, so each artwork stays one line and
    // no name can send control sequences to the terminal.
    for (const ArtworkRecord& r : store.records())
        ctx.out << r.id.toString() << "  " << formatCatalogDate(r.creationDate) << "  " << escapeForTerminal(r.styleID)
                << "  " << escapeForTerminal(r.displayName()) << (availableImage(store, r) ? "" : "  (image unavailable)")
                << '\n';
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
    std::string file;
    if (auto out = args.get("out")) {
        file = *out;
        checkOutputPath(args, ctx, file);
    } else {
        // A name no other file has, created now: exports in the same second never share one.
        checkOutputPath(args, ctx, ArtworkExporter::defaultFilename(format));
        auto reserved = reserveDefaultExportPath(".", format);
        if (!reserved) fail(args.command + ": " + reserved.error());
        file = reserved->filename().string();
    }
    ctx.subject = file;
    if (auto exported = ArtworkExporter::exportImage(*image, file, format); !exported) {
        std::error_code ignored;
        if (!args.has("out")) std::filesystem::remove(file, ignored);
        fail(args.command + ": " + file + ": " + withDetail(exported.error().message(), exported.error().detail));
    }
    ctx.out << escapeForTerminal(file) << '\n';
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
