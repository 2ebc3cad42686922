#pragma once
// A stored artwork's catalog entry and the catalog file's exact text form.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/expected.h"
#include "support/json.h"
#include "support/uuid.h"

namespace murmura {

// Catalog dates are whole seconds.
using CatalogDate = std::chrono::sys_seconds;

struct ArtworkRecord {
    Uuid id;                    // also the stem of the image file name
    std::string imageFilePath;  // file name relative to the artworks directory: "<UUID>.png"
    CatalogDate creationDate;
    double plannedDuration = 0;  // seconds
    double actualDuration = 0;   // seconds
    std::string windowName;      // owner name, em dash, title
    std::string appName;         // owner application, or "Unknown"
    std::string styleName;
    std::string styleID;
    std::optional<std::string> customName;
    // Keys of the record this version does not know (written by a newer one), kept as read so
    // that rewriting the catalog never drops them; null when there are none.
    Json otherFields;

    // The custom name trimmed of white space if that leaves text, else appName.
    std::string displayName() const;

    friend bool operator==(const ArtworkRecord&, const ArtworkRecord&) = default;
};

// The custom name a rename to typed text gives: absent when the trimmed text is empty or equals
// the record's appName (an artwork's default title), else the trimmed text.
std::optional<std::string> customNameForRename(std::string_view typed, const ArtworkRecord& record);

// ISO 8601 internet date-time in UTC without fractional seconds: 2026-12-05T09:24:42Z.
std::string formatCatalogDate(CatalogDate date);
// Reads that form; a zone offset (+01:00) is also understood. Fractional seconds, a missing
// zone, or an impossible date or time give nothing.
std::optional<CatalogDate> parseCatalogDate(std::string_view text);

// The record as a JSON object with its catalog keys ("customName" only when present).
Json encode(const ArtworkRecord& record);
// Accepts any key order; every key but "customName" is required; a null "customName" is absent.
Expected<ArtworkRecord, DecodeError> decodeArtworkRecord(const Json& json);

// The catalog's bytes: a JSON array of the records, indented two spaces a level with one key
// per line, keys in ascending byte order, "/" written as "\/", ending with a line break.
// Fails when a number is not finite or a string is not valid UTF-8.
Expected<std::string, std::string> encodeCatalog(const std::vector<ArtworkRecord>& records);
// Decodes a parsed catalog (an array of records); errors name the record's index and key.
Expected<std::vector<ArtworkRecord>, std::string> decodeCatalog(const Json& catalog);

}  // namespace murmura
