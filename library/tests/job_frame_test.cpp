// The job frame: progress arithmetic, the system classification and the
// start protocol that puts one job at a time on a worker.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "fake_platform.h"
#include "job_state.h"
#include "progress.h"
#include "tessil.h"
#include "version.h"

namespace tessil {
namespace {

using testing::FakePlatform;
using testing::wait_idle;

constexpr int32_t disk_144 = 80 * 2 * 18 * 512;

TEST(Progress, FollowsTheDiskSizeWithoutClamping) {
  EXPECT_EQ(calcporcentage(0, 512), 0);
  EXPECT_EQ(calcporcentage(disk_144, 0), 0);
  EXPECT_EQ(calcporcentage(disk_144, 512), 0);
  EXPECT_EQ(calcporcentage(disk_144, 30 * 512), 1);
  EXPECT_EQ(calcporcentage(disk_144, disk_144 / 2), 50);
  EXPECT_EQ(calcporcentage(disk_144, disk_144), 100);
  // Divided first, so 100/97*97 falls just short of 100.
  EXPECT_EQ(calcporcentage(97, 97), 99);
  EXPECT_EQ(calcporcentage(disk_144 / 2, disk_144), 200);
  // A negative total (a size past 2 GiB seen as signed) stays defined.
  EXPECT_EQ(calcporcentage(-100, 50), -50);
  EXPECT_EQ(calcporcentage(1, 0xFFFFFFFFu), INT32_MAX);
}

struct VersionRow {
  uint32_t platform_id, major, minor;
  int32_t expected;
};

class Classification : public ::testing::TestWithParam<VersionRow> {};

TEST_P(Classification, GivesTheSystemsClass) {
  const VersionRow row = GetParam();
  EXPECT_EQ(classify_version({row.platform_id, row.major, row.minor}), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, Classification,
    ::testing::Values(VersionRow{1, 4, 0, 1}, VersionRow{1, 4, 10, 2}, VersionRow{1, 4, 90, 3},
                      VersionRow{1, 4, 3, 2}, VersionRow{1, 5, 0, 2}, VersionRow{1, 3, 90, 2},
                      VersionRow{2, 3, 51, 4}, VersionRow{2, 4, 0, 4}, VersionRow{2, 5, 0, 5},
                      VersionRow{2, 5, 1, 6}, VersionRow{2, 5, 2, 6}, VersionRow{2, 6, 1, 7},
                      VersionRow{2, 10, 0, 7}, VersionRow{0, 6, 1, 0}, VersionRow{3, 6, 1, 0}),
    [](const ::testing::TestParamInfo<VersionRow>& row) {
      return "platform" + std::to_string(row.param.platform_id) + "_" +
             std::to_string(row.param.major) + "_" + std::to_string(row.param.minor);
    });

TEST(Version, ComesFromThePlatformRecord) {
  FakePlatform fake;
  fake.set_version(platform::VersionInfo{2, 6, 1});
  EXPECT_EQ(getversion(), 7);
  fake.set_version(platform::VersionInfo{1, 4, 90});
  EXPECT_EQ(getversion(), 3);
  fake.set_version(std::nullopt);
  EXPECT_EQ(getversion(), 0);
}

// A job body that waits until the test lets it finish with a chosen code.
std::atomic<bool> body_started{false};
std::atomic<bool> body_may_finish{false};
std::atomic<int32_t> body_result{0};
std::atomic<int32_t> body_saw_cancel{-1};

int32_t controlled_body() {
  body_started = true;
  while (!body_may_finish) std::this_thread::yield();
  body_saw_cancel = job_state().cancel.load();
  job_state().porcentage.store(77);
  return body_result.load();
}

int32_t start_controlled(const char* drive, const char* path, const char* label, int32_t result) {
  body_started = false;
  body_may_finish = false;
  body_result = result;
  return start_job(drive, path, label != nullptr, label, controlled_body);
}

class StartProtocol : public ::testing::Test {
 protected:
  void TearDown() override {
    body_may_finish = true;
    ASSERT_TRUE(wait_idle());
  }
  FakePlatform fake;
};

TEST_F(StartProtocol, RefusesASecondJobAndChangesNothing) {
  ASSERT_EQ(start_controlled("A", "/tmp/first.img", "first", JOB_OK), 0);
  EXPECT_EQ(retvalue(), 1);
  job_state().porcentage.store(42);
  intcancel();

  EXPECT_EQ(readdisk("B", "/tmp/second.img", "second"), 1);
  EXPECT_EQ(writedisk("B", "/tmp/second.img"), 1);
  EXPECT_STREQ(job_state().driveint.c_str(), "A");
  EXPECT_STREQ(job_state().imagefileint.c_str(), "/tmp/first.img");
  EXPECT_STREQ(job_state().inameint.c_str(), "first");
  EXPECT_EQ(getporcentage(), 42);
  EXPECT_EQ(job_state().cancel.load(), 1);
}

TEST_F(StartProtocol, KeepsTheLastResultUntilTheNextJobEnds) {
  ASSERT_EQ(start_controlled("A", "x", nullptr, JOB_SHORT_READ), 0);
  body_may_finish = true;
  ASSERT_TRUE(wait_idle());
  EXPECT_EQ(getreturnvalue(), JOB_SHORT_READ);
  EXPECT_EQ(getporcentage(), 77);

  ASSERT_EQ(start_controlled("A", "x", nullptr, JOB_OK), 0);
  EXPECT_EQ(getporcentage(), 0) << "a start resets the progress";
  EXPECT_EQ(getreturnvalue(), JOB_SHORT_READ) << "but not the previous result";
  body_may_finish = true;
  ASSERT_TRUE(wait_idle());
  EXPECT_EQ(getreturnvalue(), JOB_OK);
}

TEST_F(StartProtocol, ACancelWhileIdleIsClearedByTheNextStart) {
  EXPECT_EQ(intcancel(), 0);
  EXPECT_EQ(job_state().cancel.load(), 1);
  ASSERT_EQ(start_controlled("A", "x", nullptr, JOB_OK), 0);
  body_may_finish = true;
  ASSERT_TRUE(wait_idle());
  EXPECT_EQ(body_saw_cancel.load(), 0);
}

TEST_F(StartProtocol, WriteLeavesTheLabelOfTheLastRead) {
  ASSERT_EQ(start_controlled("A", "x", "kept label", JOB_OK), 0);
  body_may_finish = true;
  ASSERT_TRUE(wait_idle());
  ASSERT_EQ(start_controlled("B", "y", nullptr, JOB_OK), 0);
  EXPECT_STREQ(job_state().inameint.c_str(), "kept label");
  EXPECT_STREQ(job_state().driveint.c_str(), "B");
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The worker's first store into the job record once its body has returned,
// caught by making the record's words read-only from inside the body: the
// store faults, the handler notes where and makes the words writable again,
// and the store is made once more.
std::atomic<void*> first_store{nullptr};
void* frozen_from = nullptr;
std::size_t frozen_length = 0;

void note_first_store(int, siginfo_t* info, void*) {
  // Writable again first: the note itself may share the record's page.
  ::mprotect(frozen_from, frozen_length, PROT_READ | PROT_WRITE);
  void* none = nullptr;
  first_store.compare_exchange_strong(none, info->si_addr);
}

int32_t body_that_freezes_the_record() {
  JobState& state = job_state();
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t from = reinterpret_cast<uintptr_t>(&state.busy) & ~(page - 1);
  const uintptr_t to =
      (reinterpret_cast<uintptr_t>(&state.cancel) + sizeof state.cancel + page - 1) & ~(page - 1);
  frozen_from = reinterpret_cast<void*>(from);
  frozen_length = to - from;
  ::mprotect(frozen_from, frozen_length, PROT_READ);
  return JOB_SHORT_READ;
}
#endif

TEST_F(StartProtocol, TheResultIsStoredBeforeBusyIsCleared) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' runtimes take SIGSEGV for themselves";
#else
  // A caller that sees busy cleared must find the result already there: the
  // worker's first store after the body is the result code, not busy.
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_sigaction = note_first_store;
  action.sa_flags = SA_SIGINFO;
  ASSERT_EQ(::sigaction(SIGSEGV, &action, &previous), 0);
  first_store = nullptr;
  ASSERT_EQ(start_job("A", "x", false, nullptr, body_that_freezes_the_record), 0);
  ASSERT_TRUE(wait_idle());
  ::sigaction(SIGSEGV, &previous, nullptr);
  EXPECT_EQ(first_store.load(), static_cast<void*>(&job_state().returnvalue));
  EXPECT_EQ(getreturnvalue(), JOB_SHORT_READ);
#endif
}

TEST_F(StartProtocol, APollingCallerSeesTheFinishedJobsValues) {
  // Many short jobs; whenever the caller sees busy drop, the code and final
  // progress must already be the finished job's (ThreadSanitizer watches
  // the hand-over too).
  for (int32_t i = 0; i < 200; ++i) {
    const int32_t code = 100 + i % 11;
    ASSERT_EQ(start_controlled("A", "x", nullptr, code), 0);
    body_may_finish = true;
    while (retvalue() != 0) {
    }
    ASSERT_EQ(getreturnvalue(), code);
    ASSERT_EQ(getporcentage(), 77);
  }
}

TEST_F(StartProtocol, OfManyCallersAtTheSameInstantExactlyOneStarts) {
  for (int round = 0; round < 50; ++round) {
    body_may_finish = false;
    std::atomic<bool> go{false};
    std::atomic<int> started{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i)
      callers.emplace_back([&] {
        while (!go) std::this_thread::yield();
        if (start_job("A", "x", true, "label", controlled_body) == 0) ++started;
      });
    go = true;
    for (std::thread& caller : callers) caller.join();
    ASSERT_EQ(started.load(), 1) << "round " << round;
    body_may_finish = true;
    ASSERT_TRUE(wait_idle());
  }
}

TEST_F(StartProtocol, AWorkerThatCannotBeMadeLeavesTheLibraryIdle) {
  fake.fail_thread_creation(true);
  EXPECT_EQ(start_controlled("A", "x", nullptr, JOB_OK), 1);
  EXPECT_EQ(retvalue(), 0);
  fake.fail_thread_creation(false);
  EXPECT_EQ(start_controlled("A", "x", nullptr, JOB_OK), 0);
}

TEST_F(StartProtocol, TextsAreBoundedAndNullCountsAsEmpty) {
  const std::string long_text(1000, 'x');
  ASSERT_EQ(start_controlled(nullptr, long_text.c_str(), long_text.c_str(), JOB_OK), 0);
  EXPECT_STREQ(job_state().driveint.c_str(), "");
  EXPECT_FALSE(job_state().driveint.overflowed());
  EXPECT_EQ(job_state().imagefileint.view().size(), 299u);
  EXPECT_TRUE(job_state().imagefileint.overflowed());
  EXPECT_EQ(job_state().inameint.view(), std::string(299, 'x'));

  body_may_finish = true;
  ASSERT_TRUE(wait_idle());
  const std::string exact(299, 'y');
  ASSERT_EQ(start_controlled("A", exact.c_str(), nullptr, JOB_OK), 0);
  EXPECT_FALSE(job_state().imagefileint.overflowed());
  EXPECT_EQ(job_state().imagefileint.view(), exact);
}

TEST_F(StartProtocol, WorkersAnnounceThemselvesOnTheDebugChannel) {
  ASSERT_EQ(start_controlled("A", "path", "name", JOB_OK), 0);
  body_may_finish = true;
  ASSERT_TRUE(wait_idle());
  ASSERT_TRUE(fake.wait_for_threads());
  const std::vector<std::string> lines = fake.debug_lines();
  const std::vector<std::string> expected = {"driveint A \n", "imagefileint path \n",
                                             "inameint name \n", "DLL_THREAD_ATTACH \n",
                                             "DLL_THREAD_DETACH \n"};
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace tessil
