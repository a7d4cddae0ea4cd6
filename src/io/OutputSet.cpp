#include "io/OutputSet.h"

#include "io/ErrorText.h"
#include "io/Paths.h"
#include "io/Signals.h"
#include "io/System.h"
#include "script/Quote.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace zm::io {

namespace fs = std::filesystem;

// --- OutputSet --------------------------------------------------------------

OutputSet::~OutputSet() {
    if (!committed_) {
        discard();
    }
}

Output& OutputSet::add(const std::string& name, const std::string& option) {
    std::unique_ptr<Output> out(new Output(name, option));
    if (name == "-") {
        out->target_ = "-";
        out->openDescriptor(1);
    } else {
        out->resolve();
        if (out->descriptor_ < 0) {
            out->takeTarget(temporaryFolderFor(out->target_));
        }
    }
    claim(*out);
    outputs_.push_back(std::move(out));
    return *outputs_.back();
}

// Two outputs into one file would leave only one of them: one descriptor, one
// path, or one file or pipe under two names.
void OutputSet::claim(Output& out) {
    std::vector<std::string> keys;
    struct stat st {};
    bool known = false;
    if (out.descriptor_ >= 0) {
        keys.push_back("descriptor " + std::to_string(out.descriptor_));
        known = sys::statDescriptor(out.descriptor_, st) == 0;
    } else {
        std::error_code ec;
        keys.push_back(fs::weakly_canonical(absoluteOr(out.target_), ec).string());
        known = ::stat(out.target_.c_str(), &st) == 0;
    }
    if (known) {
        if (std::string key = sys::fileKey(st); !key.empty()) {
            keys.push_back(std::move(key));
        }
    }
    for (const std::string& key : keys) {
        if (const auto it = targets_.find(key); it != targets_.end()) {
            throw OutputError(it->second + " and " + out.option_ + " are given the same file " +
                              zm::script::quoted(out.name_) + ": give each its own");
        }
    }
    for (const std::string& key : keys) {
        targets_.emplace(key, out.option_);
    }
    out.keys_ = std::move(keys);
}

void OutputSet::release(const Output& out) {
    for (const std::string& key : out.keys_) {
        targets_.erase(key);
    }
}

// Where a file in a folder made at the commit waits: in the nearest folder that
// exists, on the same file system.
std::string OutputSet::temporaryFolderFor(const std::string& target) const {
    const std::string folder = normalFolder(absoluteOr(folderOf(target))).string();
    for (const Folder& f : folders_) {
        if (std::find(f.missing.begin(), f.missing.end(), folder) != f.missing.end()) {
            return f.base;
        }
    }
    return {};
}

void OutputSet::makeFolder(const std::string& path, const std::string& option,
                           std::function<bool(std::string_view)> stale) {
    Folder f{path, option, {}, {}, std::move(stale)};
    fs::path p = normalFolder(absoluteOr(path));
    std::error_code ec;
    while (!fs::exists(fs::symlink_status(p, ec))) {
        f.missing.push_back(p.string());
        if (p == p.parent_path()) {
            break;
        }
        p = p.parent_path();
    }
    if (!fs::is_directory(p, ec)) {
        throw OutputError("cannot make " + option + " folder " + zm::script::quoted(path) + ": " +
                          errorText(ENOTDIR));
    }
    // Checked now, so that a run does not fail at its end for this.
    if (const int err = sys::folderWritable(p.string()); err != 0) {
        throw OutputError("cannot " + std::string(f.missing.empty() ? "write into " : "make ") + option +
                          " folder " + zm::script::quoted(path) + ": " + errorText(err));
    }
    std::reverse(f.missing.begin(), f.missing.end());
    f.base = p.string();
    folders_.push_back(std::move(f));
}

void OutputSet::rename(Output& out, const std::string& name) {
    release(out);
    out.name_ = name;
    int err = 0;
    int fd = -1;
    out.target_ = sys::followLinks(name, err, fd);
    if (err != 0) {
        out.fail("cannot write", err);
    }
    if (fd >= 0) {
        throw OutputError(out.option_ + " " + zm::script::quoted(name) + " exists and is not a regular file");
    }
    struct stat st {};
    out.existed_ = ::stat(out.target_.c_str(), &st) == 0;
    if (out.existed_) {
        if (!S_ISREG(st.st_mode)) {
            throw OutputError(out.option_ + " " + zm::script::quoted(name) +
                              " exists and is not a regular file");
        }
        if (sys::sharedByLinks(st)) {
            throw OutputError(out.option_ + " " + zm::script::quoted(name) +
                              " has other hard links: remove it or choose another folder");
        }
        out.checkReplaceable();
    }
    claim(out);
}

void OutputSet::makeFolders() {
    for (const Folder& f : folders_) {
        for (const std::string& path : f.missing) {
            const int made = sys::makeDirectory(path);
            if (made != 0) {
                std::error_code ec;
                if (errno == EEXIST && fs::is_directory(path, ec)) {
                    continue;
                }
                throw OutputError("cannot make " + f.option + " folder " + zm::script::quoted(f.path) + ": " +
                                  errorText(errno));
            }
            madeFolders_.push_back(path);
        }
    }
}

// Files of an earlier run that this run's set replaces are moved to hidden names
// until the commit is over.
void OutputSet::removeStale() {
    for (const Folder& f : folders_) {
        if (!f.stale || !f.missing.empty()) {
            continue;
        }
        std::error_code ec;
        const fs::path folder = fs::weakly_canonical(absoluteOr(f.path), ec);
        std::set<std::string> ours;
        for (const auto& o : outputs_) {
            const fs::path n = o->name_;
            ours.insert((fs::weakly_canonical(absoluteOr(folderOf(o->name_)), ec) / n.filename()).string());
        }
        std::vector<std::string> stale;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path leaf = it->path().filename();
            const std::string path = (folder / leaf).string();
            if (f.stale(leaf.string()) && ours.count(path) == 0 && !it->is_directory(ec)) {
                stale.push_back(path);
            }
        }
        if (ec) {
            throw OutputError("cannot read " + f.option + " folder " + zm::script::quoted(f.path) + ": " +
                              errorText(ec.value()));
        }
        for (const std::string& path : stale) {
            std::string backup;
            do {
                backup = inFolder(folder.string(), hiddenName());
            } while (nameExists(backup));
            if (sys::stickyForbidsRemoving(path, folder.string())) {
                throw OutputError("cannot remove the earlier " + f.option + " file " +
                                  zm::script::quoted(path) + ": " + errorText(EPERM));
            }
            if (const int err = sys::renameOver(path, backup); err != 0) {
                throw OutputError("cannot remove the earlier " + f.option + " file " +
                                  zm::script::quoted(path) + ": " + errorText(err));
            }
            removed_.push_back({path, backup});
        }
    }
}

void OutputSet::commit() {
    forgetReceived();
    const auto each = [this](Output::Kind kind, auto&& action) {
        for (const auto& o : outputs_) {
            if (o->kind_ == kind) {
                action(*o);
            }
        }
    };
    try {
        for (const auto& o : outputs_) {
            o->finishTemporary();
        }
        checkInterrupt();
        makeFolders();
        each(Output::Kind::Replace, [](Output& o) { o.linkIn(); });
        removeStale();
        each(Output::Kind::Replace, [](Output& o) { o.backUp(); });
        each(Output::Kind::Replace, [](Output& o) { o.putInPlace(); });
        checkInterrupt();
        each(Output::Kind::Overwrite, [](Output& o) { o.overwrite(); });
        // Devices and pipes by name, then descriptors, standard output last:
        // what went out there cannot be taken back.
        each(Output::Kind::Stream, [](Output& o) {
            if (o.descriptor_ < 0) {
                o.copyToTarget();
            }
        });
        each(Output::Kind::Stream, [](Output& o) {
            if (o.descriptor_ >= 0 && o.descriptor_ != 1) {
                o.copyToTarget();
            }
        });
        each(Output::Kind::Stream, [](Output& o) {
            if (o.descriptor_ == 1) {
                o.copyToTarget();
            }
        });
    } catch (...) {
        rollBack();
        throw;
    }
    for (const auto& o : outputs_) {
        o->dropBackup();
    }
    for (const Removed& r : removed_) {
        sys::removeName(r.backup);
    }
    removed_.clear();
    committed_ = true;
    outputs_.clear();
    madeFolders_.clear();
}

void OutputSet::rollBack() {
    for (auto it = outputs_.rbegin(); it != outputs_.rend(); ++it) {
        (*it)->undo();
    }
    for (auto it = removed_.rbegin(); it != removed_.rend(); ++it) {
        sys::renameOver(it->backup, it->path);
    }
    removed_.clear();
}

void OutputSet::discard() {
    outputs_.clear();
    for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) {
        std::error_code ec;
        fs::remove(*it, ec);
    }
    madeFolders_.clear();
}

} // namespace zm::io
