#pragma once
// The table of murmura-cli's commands.
#include <vector>

#include "app/render_pipeline.h"
#include "cli/command.h"
#include "gallery/artwork_store.h"

namespace murmura::cli {

// Every command, in the order murmura-cli --help lists them (commands.def).
const std::vector<Command>& commands();

// Shared by the commands that use the gallery.
// The --data-dir option: the gallery's base directory.
Option dataDirOption();
// Opens the gallery of --data-dir, else of the context's XDG_DATA_HOME or HOME. An unreadable
// catalog is refused: the store has printed why, and murmura-cli never overwrites it.
ArtworkStore openStore(const Args& args, Context& ctx);

// --width W and --height H.
Option widthOption();
Option heightOption();
// The canvas they ask for: the default canvas of the session's frame with the given sides.
CanvasSize requestedCanvas(const Args& args, const CaptureResult& session);

}  // namespace murmura::cli
