#include "app/ui_call_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/main_frame.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"

namespace quenlow {
namespace {

TEST(UiCallQueue, CallsRunInOrderAndABurstWakesTheWindowOnce) {
    int wakes = 0;
    UiCallQueue queue([&] { ++wakes; });
    std::vector<std::string> ran;
    queue.post([&] { ran.push_back("a"); });
    queue.post_latest([&] { ran.push_back("progress 1"); });
    queue.post([&] { ran.push_back("b"); });
    queue.post_latest([&] { ran.push_back("progress 2"); });
    EXPECT_EQ(wakes, 1);
    queue.drain();
    // The latest-only slot runs once, with its newest call, after the queued ones.
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "progress 2"}));

    // Drained: the next call wakes again. A cleared slot runs nothing.
    queue.post_latest([&] { ran.push_back("stale"); });
    queue.clear_latest();
    queue.post([&] { ran.push_back("c"); });
    EXPECT_EQ(wakes, 2);
    queue.drain();
    EXPECT_EQ(ran.back(), "c");
    EXPECT_EQ(ran.size(), 4u);
}

TEST(UiCallQueue, AWaitingWorkerGetsItsAnswerFromTheWindowThread) {
    std::atomic<bool> woken{false};
    UiCallQueue queue([&] { woken = true; });
    std::thread::id ran_on;
    auto worker = std::async(std::launch::async, [&] {
        return queue.call_and_wait([&] { ran_on = std::this_thread::get_id(); });
    });
    while (!woken) std::this_thread::yield();
    queue.drain();
    EXPECT_TRUE(worker.get());
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(UiCallQueue, ShutDownReleasesWaitersAndDropsEveryLaterCall) {
    std::atomic<bool> woken{false};
    UiCallQueue queue([&] { woken = true; });
    bool ran = false;
    auto worker = std::async(std::launch::async, [&] { return queue.call_and_wait([&] { ran = true; }); });
    while (!woken) std::this_thread::yield();
    queue.shut_down();
    EXPECT_FALSE(worker.get());
    queue.post([&] { ran = true; });
    queue.drain();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(queue.is_shut_down());
}

MainFrameSeams seams_with_table() {
    MainFrameSeams seams;
    seams.build_catalog = [](OpenedDatabase& db) {
        auto catalog = std::make_unique<SystemCatalog>(db);
        SchemaObjectRow table;
        table.name = "t";
        table.type = "U ";
        catalog->objects.push_back(table);
        return catalog;
    };
    return seams;
}

// The window's thread ends the frame while the scan worker waits for it to show the last box: the frame
// tells the front end first, so the worker is let go and the end does not hang.
TEST(UiCallQueue, EndingTheFrameWhileItsWorkerWaitsOnTheWindowDoesNotDeadlock) {
    test::TempFolder folder;
    const std::string data_path = folder.file("shop.mdf");
    test::write_blank_data_file(data_path);
    ApplicationState app;
    test::FakeFrontEnd front;
    PosixFileSystem files;
    OpenChoices choices;
    choices.mdf_path = data_path;
    front.dialog_result = choices;

    std::atomic<bool> waiting{false};
    UiCallQueue window([] {});  // nobody drains: the window's thread is busy ending the frame
    front.before_box = [&] {
        waiting = true;
        window.call_and_wait([] {});
    };
    front.on_shutting_down = [&] { window.shut_down(); };

    auto frame = std::make_unique<MainFrame>(app, front, files, seams_with_table());
    frame->on_open();
    while (!waiting) std::this_thread::yield();
    frame.reset();
    EXPECT_TRUE(window.is_shut_down());
    EXPECT_EQ(app.running.load(), 0);
    // The state outlives the frame: its stop request is gone with it.
    EXPECT_FALSE(app.engine.stop.load());

    // A frame whose worker has ended leaves nothing behind either: the next frame on the state scans.
    front.before_box = nullptr;
    front.on_shutting_down = nullptr;
    frame = std::make_unique<MainFrame>(app, front, files, seams_with_table());
    frame->on_open();
    frame->wait_for_worker();
    frame.reset();
    frame = std::make_unique<MainFrame>(app, front, files, seams_with_table());
    frame->on_open();
    frame->wait_for_worker();
    EXPECT_NE(frame->catalog(), nullptr);
}

}  // namespace
}  // namespace quenlow
