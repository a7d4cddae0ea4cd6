#pragma once

#include "io/Output.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zm::io {

// Every output of one run, committed together at the end of a successful run or
// not at all. Until commit, nothing that existed before the run is touched;
// without commit, everything the run made (temporary files, folders) goes. A
// commit that fails half way puts every file back as it was.
class OutputSet {
  public:
    OutputSet() = default;
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // A file to write; option names it in messages ("--png"). The same file may
    // not be given twice.
    Output& add(const std::string& name, const std::string& option);
    // A folder for outputs: it and its missing parents are made at the commit.
    // Where stale is given, the files in it whose names stale accepts and that
    // this run does not write are removed at the commit, so that the folder then
    // holds this run's set and whatever else was there.
    void makeFolder(const std::string& path, const std::string& option,
                    std::function<bool(std::string_view)> stale = {});
    // Gives an output not yet committed another name in the same folder.
    void rename(Output& out, const std::string& name);

    // Puts the files in place, then writes the outputs written in place,
    // standard output last.
    void commit();
    // Removes what the run made. Safe to call more than once.
    void discard();

  private:
    struct Folder {
        std::string path;                 // as given
        std::string option;               // for messages
        std::vector<std::string> missing; // absolute, parents first
        std::string base;                 // the nearest folder that exists
        std::function<bool(std::string_view)> stale;
    };
    struct Removed {
        std::string path;
        std::string backup;
    };

    std::vector<std::unique_ptr<Output>> outputs_;
    std::map<std::string, std::string> targets_; // the files given so far, resolved, and their options
    void claim(Output& out);
    void release(const Output& out);
    std::string temporaryFolderFor(const std::string& target) const;
    void makeFolders();
    void removeStale();
    void rollBack();
    std::vector<Folder> folders_;
    std::vector<std::string> madeFolders_; // in the order made, parents first
    std::vector<Removed> removed_;
    bool committed_ = false;
};

} // namespace zm::io
