#pragma once

#include <gtest/gtest.h>

#include "TerminalSite.h"

namespace winetest {

// A terminal whose supervisor has started its four workers, with a fresh settings store.
class RunningSite : public testing::Test {
protected:
    void SetUp() override { settings::Reset(); }
    void TearDown() override {
        site_.reset();
        settings::Reset();
    }

    // Installs the workers, lets `prepare` adjust the folder, and starts the supervisor with
    // the threshold `missThreshold` (none: the default), in `folder` (none: a new temporary
    // folder).
    void Start(const wchar_t* missThreshold,
               const std::function<void(TerminalSite&)>& prepare = {},
               const std::wstring& folder = {}) {
        if (!folder.empty()) ::CreateDirectoryW(folder.c_str(), nullptr);
        site_ = std::make_unique<TerminalSite>(folder.empty() ? MakeTempFolder(L"cycle") : folder);
        ASSERT_TRUE(site_->InstallWorkers());
        if (prepare) prepare(*site_);
        if (missThreshold != nullptr) settings::Set(L"AjusteZORPA", missThreshold);
        ASSERT_TRUE(site_->StartSupervisor());
        ASSERT_TRUE(site_->WaitForStarts(WorkerFiles.size()));
        ASSERT_TRUE(WaitUntil([&] { return site_->Form() != nullptr; }, StartTimeoutMs));
        for (const std::wstring& file : WorkerFiles) workers_.push_back(site_->StartOf(file)->pid);
        // The load handler ends once the last worker is ready. A tick sent before that would
        // run inside the load: Wine handles sent messages while WaitForInputIdle waits.
        ASSERT_TRUE(site_->WaitUntilReady(workers_.back()));
    }

    // The first instance of each worker, in start order.
    DWORD Pid(std::size_t slot) const { return workers_.at(slot); }
    TerminalSite& Site() { return *site_; }

    static constexpr std::size_t Gandro = 0;
    static constexpr std::size_t FendaImpresion = 1;
    static constexpr std::size_t FendaTickets = 2;
    static constexpr std::size_t Tulvan = 3;

private:
    std::unique_ptr<TerminalSite> site_;
    std::vector<DWORD> workers_;
};

}  // namespace winetest
