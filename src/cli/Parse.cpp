#include "cli/Options.h"

#include "script/Quote.h"

#include <cstddef>
#include <string_view>

namespace zm::cli {

using script::quoted;

namespace {

void fail(const std::string& message) {
    throw UsageError(message);
}

const Option* findOption(std::string_view name) {
    for (const Option& o : optionTable()) {
        if (o.name == name || (!o.shortName.empty() && o.shortName == name)) {
            return &o;
        }
    }
    return nullptr;
}

} // namespace

Options parseArguments(Program p, const std::vector<std::string>& args) {
    const std::span<const Option> table = optionTable();
    Options o;
    o.program = p;
    // How often each option of the table is given, and its first value.
    std::vector<int> given(table.size(), 0);
    std::vector<std::string> values(table.size());
    std::vector<std::string> positional;
    std::string firstError;
    const auto error = [&firstError](const std::string& m) {
        if (firstError.empty()) {
            firstError = m;
        }
    };
    // Usage errors name the option as typed, and where to read more.
    const std::string seeHelp = std::string(" (see ") + programName(p) + " --help)";
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        const std::string_view body = std::string_view(a).substr(a[1] == '-' ? 2 : 1);
        const std::size_t eq = body.find('=');
        const std::string_view name = body.substr(0, eq);
        const std::string written =
            a.substr(0, a.size() - (eq == std::string_view::npos ? 0 : body.size() - eq));
        const Option* info = findOption(name);
        // An option of another program is unknown here, but for a picture
        // that only the renderer makes, which it points to.
        if (info != nullptr && !info->takenBy(p) &&
            (p != Program::trace || !info->takenBy(Program::render))) {
            info = nullptr;
        }
        if (info == nullptr) {
            error("unknown option " + quoted(written) + seeHelp);
            continue;
        }
        std::string value;
        if (info->takesValue()) {
            if (eq != std::string_view::npos) {
                value = std::string(body.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error(quoted(written) + " needs a value" + seeHelp);
                continue;
            }
        } else if (eq != std::string_view::npos) {
            error(quoted(written) + " takes no value" + seeHelp);
            continue;
        }
        if (!info->takenBy(p)) {
            error("--" + std::string(info->name) + " is for pictures that " + programName(p) +
                  " does not make: use " + programName(Program::render));
            continue;
        }
        const auto k = static_cast<std::size_t>(info - table.data());
        if (given[k]++ == 0) {
            values[k] = std::move(value);
        }
    }
    if (!firstError.empty()) {
        fail(firstError);
    }
    // Help and version answer whatever else the command line holds.
    for (std::size_t k = 0; k < table.size(); ++k) {
        if (table[k].action != Options::Action::run && given[k] > 0) {
            o.action = table[k].action;
            return o;
        }
    }
    if (!positional.empty()) {
        fail("unexpected argument " + quoted(positional.front()) + seeHelp);
    }
    for (std::size_t k = 0; k < table.size(); ++k) {
        if (table[k].takesValue() && given[k] > 1) {
            fail("option --" + std::string(table[k].name) + " is given more than once");
        }
    }
    for (std::size_t k = 0; k < table.size(); ++k) {
        if (given[k] > 0 && table[k].set != nullptr) {
            table[k].set(o, table[k], values[k]);
        }
    }
    const double devicePixels = static_cast<double>(o.width) * o.height * o.scale * o.scale;
    if (devicePixels > 64.0 * 1024 * 1024) {
        fail("--size and --scale give a picture of more than 64 million pixels");
    }
    return o;
}

} // namespace zm::cli
