// The items of a drop as the file manager lists them (text/uri-list), with
// local paths taken as the bytes the system stores: a name that is not
// valid UTF-8 (Shift-JIS from an old archive, say) arrives percent-encoded
// and must not pass through a text conversion that would replace its bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovali {

struct TDroppedItem {
    bool Local = false;  // a file of this machine
    std::string Path;    // Local: the path's bytes; otherwise what the summary calls it
};

// Lines of the list, in order; comment lines and empty ones are skipped.
// A file URI without a host (or with "localhost") is local.
std::vector<TDroppedItem> ParseUriList(std::string_view list);

// %XX escapes turned into their bytes; a broken escape stays as it is.
std::string PercentDecode(std::string_view text);

}  // namespace tovali
