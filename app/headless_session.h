#pragma once
// A scan and the clicks after it, driven to the end of each worker: the sequence a front end without a
// window runs (open, wait, find an item by the name a user gave, show it, page on), and the open choices
// made from plain option values instead of the open dialog.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/application_state.h"
#include "app/main_frame.h"
#include "app/open_choices.h"

namespace quenlow {

// The open dialog's fields as plain values: the collation by name, the code page as a number.
struct OpenOptions {
    std::string file;
    RecoveryMode recovery_mode = RecoveryMode::kStandard;
    bool deleted = false;
    bool advanced_deleted = false;
    bool keep_every_candidate = false;
    std::string collation = "auto";      // "auto", or a collation name of the collation file
    std::int32_t ansi_code_page = 1252;  // 8-bit text without any collation
    std::optional<std::string> log_dir;
    bool sql2000 = false;
};

// The choices, or the reason there are none.
struct OpenChoicesResult {
    std::optional<OpenChoices> choices;
    std::string refusal;
};

// Loads the collation file into the application state, sets its code page for text without a
// collation and makes the choices of the open dialog from the options. Refused for a collation the file
// does not list and for a code page that cannot be converted.
OpenChoicesResult make_open_choices(const OpenOptions& options, const std::string& collation_file,
                                    ApplicationState& app);

// An object that a name given by a user may mean.
struct ItemCandidate {
    std::string qualified_name;  // "schema.name"
    std::int32_t object_id = -1;
    std::string category;  // the text of its category item
};

// What a name found: one item, or none with the objects it may mean when it means several.
struct ItemLookup {
    TreeItemId item = kNoItem;
    std::vector<ItemCandidate> candidates;
};

// A main frame whose commands return once their worker has ended.
class HeadlessSession {
public:
    // Asked about every 20 ms while a worker runs; true sends the Stop command once.
    using StopRequest = std::function<bool()>;

    HeadlessSession(ApplicationState& app, FrontEnd& front, FileSystem& files, MainFrameSeams seams,
                    StopRequest stop_requested = {});

    MainFrame& frame() { return frame_; }
    const MainFrame& frame() const { return frame_; }

    // Scans the file the open dialog names; true when a tree was built.
    bool open();
    // Shows the item as a click on its label does; false when the frame refused.
    bool click(TreeItemId item);
    // "Next Records"; false when the frame refused.
    bool next();
    // Waits until the running worker has ended.
    void wait();

    // A table under "User Tables" or, failing those, under "System Tables", by its item text, its
    // "schema.name" or its name (see find_object_items).
    ItemLookup find_table(const std::string& name) const;
    // Any item: an object of a category by the rules of find_table; failing that, the first item in
    // outline order whose text it is. Keys and constraints, which appear once their table was shown,
    // are looked for once more after every table has grown its schema items. The parent, when given,
    // is the text of an item above the one wanted.
    ItemLookup find_item(const std::string& text, const std::optional<std::string>& parent);

private:
    ItemLookup lookup(const std::vector<TreeItemId>& items) const;

    MainFrame frame_;
    StopRequest stop_requested_;
};

}  // namespace quenlow
