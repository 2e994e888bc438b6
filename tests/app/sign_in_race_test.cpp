// Workstations signing in at the same moment, as separate programs.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/station_support.h"
#include "support/child_process.h"
#include "support/fixture_folder.h"

namespace durva::test {

namespace {

constexpr int kWorkstations = 8;
// The sign-in's time runs this much faster than the wall clock: its
// 20-second lock wait lasts five real seconds.
constexpr const char* kTimeScale = "4";

// Reads lines until one starts with `prefix`; returns it, or "" when the
// child said nothing more within the time.
std::string line_starting(ChildProcess& p, const std::string& prefix) {
    for (;;) {
        std::string line = p.read_line();
        if (line.empty() || line.rfind(prefix, 0) == 0) return line;
    }
}

}  // namespace

TEST(SignInRace, WorkstationsThatReadTheSameFreePositionGetDifferentStations) {
    TempFolder folder("kod13");
    const std::string firma = folder.file("firma.dbf");
    write_company_field(firma, "ST", "1000000000");

    // Another program of the office holds the company record locked, so
    // every workstation reads position 2 as free and then waits for the lock.
    ChildProcess holder(proc_path("dbf_holder"), {firma, "shared"});
    ASSERT_EQ(holder.read_line(), "ready");
    holder.write_line("lock 1");
    ASSERT_EQ(holder.read_line(), "locked 1");

    std::vector<std::unique_ptr<ChildProcess>> stations;
    for (int i = 0; i < kWorkstations; ++i) {
        stations.push_back(std::make_unique<ChildProcess>(proc_path("station_signin"),
                                                          std::vector<std::string>{folder.path().string(), kTimeScale}));
    }
    for (auto& p : stations) ASSERT_EQ(p->read_line(), "ready");
    for (auto& p : stations) p->write_line("go");
    // A half-second pause means a lock attempt failed: the free position was
    // read before it.
    for (auto& p : stations) ASSERT_EQ(line_starting(*p, "wait 500"), "wait 500");
    EXPECT_EQ(read_station_string(firma), "1000000000");

    holder.write_line("unlock 1");
    ASSERT_EQ(holder.read_line(), "unlocked 1");

    std::set<int> got;
    for (auto& p : stations) {
        const std::string line = line_starting(*p, "station ");
        ASSERT_FALSE(line.empty());
        const int station = std::stoi(line.substr(8));
        EXPECT_GE(station, 2);
        EXPECT_LE(station, 9);
        EXPECT_TRUE(got.insert(station).second) << "station " << station << " handed out twice";
        EXPECT_EQ(p->read_line(), "message ");
        EXPECT_EQ(p->wait_exit_code(), 0);
    }
    EXPECT_EQ(got.size(), static_cast<size_t>(kWorkstations));
    EXPECT_EQ(read_station_string(firma), "1111111110");

    // Positions 1 to 9 are taken: the next one is refused, the tenth never given.
    ChildProcess late(proc_path("station_signin"), {folder.path().string(), kTimeScale});
    ASSERT_EQ(late.read_line(), "ready");
    late.write_line("go");
    EXPECT_EQ(line_starting(late, "station "), "station 0");
    EXPECT_EQ(late.read_line(), "message Wszystkie stacje zajete");
    EXPECT_EQ(late.wait_exit_code(), 0);
    EXPECT_EQ(read_station_string(firma), "1111111110");

    holder.write_line("quit");
    EXPECT_EQ(holder.wait_exit_code(), 0);
}

}  // namespace durva::test
