#pragma once
// One running copy of the program per machine. The first copy holds an exclusive lock on a lock file for
// as long as it runs; a later copy finds the lock taken, shows kAnotherInstanceMessage and ends. The
// system drops the lock when the holder ends, however it ends, so a crashed copy never blocks the next.
//
// Only a lock held by someone else refuses a start: when the lock file cannot be opened or locked for
// any other reason the copy runs, since there is nothing to tell it another one does.

#include <string>
#include <string_view>

namespace quenlow {

// Caption of every message box of the program.
inline constexpr std::string_view kApplicationCaption = "Velmor Quenlow v17.0";
inline constexpr std::string_view kAnotherInstanceMessage =
    "Another instance of application is already running";
inline constexpr std::string_view kInstanceLockFileName = "velmor-quenlow-17.lock";

// runtime_dir (the user's runtime folder) when not empty, else /tmp, joined with the lock file name.
std::string instance_lock_path(std::string_view runtime_dir);
// instance_lock_path of $XDG_RUNTIME_DIR.
std::string default_instance_lock_path();

class SingleInstance {
  public:
    explicit SingleInstance(std::string lock_path = default_instance_lock_path());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this copy may run: it now holds the lock (or already did), or the lock could not be
    // checked. False when another holder has it.
    bool acquire();
    void release();
    bool held() const { return fd_ >= 0; }
    const std::string& lock_path() const { return lock_path_; }

  private:
    std::string lock_path_;
    int fd_ = -1;
};

}  // namespace quenlow
