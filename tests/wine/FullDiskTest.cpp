// Replacement onto a terminal whose disk is full, under Wine: the terminal's folder lies on the
// 4 MiB tmpfs that full-disk-test.sh mounts and names in ZORPA_FULL_DISK_FOLDER.
#include <cstdlib>

#include "RunningSite.h"
#include "Win32Platform.h"

namespace {

using namespace winetest;

class FullDisk : public RunningSite {
protected:
    void SetUp() override {
        RunningSite::SetUp();
        const wchar_t* disk = ::_wgetenv(L"ZORPA_FULL_DISK_FOLDER");
        ASSERT_NE(disk, nullptr) << "run through full-disk-test.sh, which mounts the small disk";
        disk_ = disk;
        // The stand-in's second build followed by more bytes than the whole disk holds.
        const std::vector<char> program = ReadBytes(BuildFolder() + L"\\" + StandInV2);
        WriteText(server_ + L"\\TULVANNEW.EXE",
                  std::string(program.begin(), program.end()) + std::string(4 << 20, '\0'));
    }
    void TearDown() override {
        RunningSite::TearDown();
        RemoveTree(server_);
    }

    std::wstring disk_;
    const std::wstring server_ = MakeTempFolder(L"full-disk-server");
};

TEST_F(FullDisk, ACopyThatRunsOutOfSpaceSaysSoAndLeavesNothingBehind) {
    const std::wstring temporary = disk_ + L"\\TULVAN.EXE.new";
    try {
        zorpa::win32::Win32Platform().CopyToTemporary(server_ + L"\\TULVANNEW.EXE", temporary);
        ADD_FAILURE() << "a copy larger than the disk must fail";
    } catch (const zorpa::RuntimeError& error) {
        EXPECT_EQ(error.number(), zorpa::ErrorNumber::DiskFull);
        EXPECT_EQ(error.windowsError(), static_cast<std::uint32_t>(ERROR_DISK_FULL));
    }
    EXPECT_FALSE(Exists(temporary));
}

TEST_F(FullDisk, ANewWorkerLargerThanTheSpaceLeftKeepsTheOldOneWholeAndRunning) {
    Start(L"2", {}, disk_ + L"\\terminal");
    settings::Set(L"RutaServidor", server_);
    settings::Set(L"RemplazarProgramas", L"1");
    const std::vector<char> installed = ReadBytes(BuildFolder() + L"\\" + StandInV1);
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_TRUE(ReadBytes(Site().PathOf(L"TULVAN.EXE")) == installed) << "TULVAN.EXE changed";
    EXPECT_FALSE(Exists(Site().PathOf(L"TULVAN.EXE.new")));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1") << "tried again in the next cycle";
    EXPECT_TRUE(Site().IsRunning(Pid(Tulvan))) << "a copy that fails ends no worker";

    // The kept file still starts: once the worker has died and the request is given up
    // (threshold 2), the hang watch starts it again.
    const zorpa::win32::UniqueHandle tulvan(::OpenProcess(PROCESS_TERMINATE, FALSE, Pid(Tulvan)));
    ASSERT_TRUE(tulvan && ::TerminateProcess(tulvan.get(), 1));
    for (int tick = 0; tick < 8 && !Site().StartOf(L"TULVAN.EXE", 1); ++tick)
        ASSERT_TRUE(Site().Tick(CheckTimer));
    const std::optional<StandInStart> restarted = Site().StartOf(L"TULVAN.EXE", 1);
    ASSERT_TRUE(restarted);
    EXPECT_EQ(restarted->version, "1");
    EXPECT_TRUE(Site().IsRunning(restarted->pid));
}

}  // namespace
