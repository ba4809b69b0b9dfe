// What a5host knows of the exports of the project's two plug-ins: the name and kind of each
// argument (a `fixed` number or an engine string), so that a script that passes the wrong
// kind gets an error instead of a plug-in reading a number as a record address. Exports
// of other plug-ins are not listed: their arguments are converted by their Lua types.
#pragma once

#include <array>
#include <string_view>

namespace a5host {

enum class ArgumentKind { Number, String };

struct ExportParameter {
    const char* name = nullptr;
    ArgumentKind kind = ArgumentKind::Number;
};

struct ExportSignature {
    const char* name = nullptr;
    int count = 0;
    std::array<ExportParameter, 4> parameters{};
};

// The signature of a known export, or null.
const ExportSignature* findExportSignature(std::string_view name);

}  // namespace a5host
