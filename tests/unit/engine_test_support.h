/*
 * engine_test_support.h - an installation for the engine tests: a private
 * console root, a configuration with one cabinet of every controller kind
 * read into the node list, the engine's operator hooks pointed at a list
 * the test can read, and everything released afterwards.
 */
#ifndef XR_TESTS_UNIT_ENGINE_TEST_SUPPORT_H
#define XR_TESTS_UNIT_ENGINE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/read_config.h"
#include "engine/send_env.h"
#include "tests/unit/config_test_support.h"

/* Lines the engine added to the work dialog. */
inline std::vector<std::string> &WorkLines()
{
    static std::vector<std::string> lines;
    return lines;
}

inline void HookEngineUi()
{
    WorkLines().clear();
    engine_ui.freshen_window = nullptr;
    engine_ui.is_work_dialog = [] { return 1; };
    engine_ui.add_work_msg = [](const char *line) {
        WorkLines().push_back(line);
        return 0;
    };
}

inline void UnhookEngineUi()
{
    engine_ui = EngineUi{nullptr, nullptr, nullptr, nullptr, nullptr};
}

/* The blocks a GO leaves out (the ones not live) must be quiet: any step of
 * a GO would have left them as they are.  Checked after real GO flows. */
inline void ExpectQuietUnlessLive()
{
    if (NoEnvPBs || SendEnvParamBlocks == nullptr)
        return;
    const std::vector<int> &live = LiveBlocks();
    for (int b = 0; b < CabCount; ++b) {
        if (!std::binary_search(live.begin(), live.end(), b)) {
            EXPECT_TRUE(BlockIsQuiet(SendEnvParamBlocks[b])) << "cabinet " << SendEnvParamBlocks[b].cabinet_id;
        }
    }
}

/* One node record; `extra` holds further "\tkey=value\n" lines. */
inline std::string Node(const std::string &name, const std::string &type, int cabinet, int processor,
                        const std::string &extra = "")
{
    return "NODE_RECORD\n\tname=" + name + "\n\ttype=" + type + "\n\tcabinet=" + std::to_string(cabinet) +
           "\n\tprocessor=" + std::to_string(processor) + "\n" + extra + "END\n";
}

/* Cabinet 10: two environmental controllers (A, B) and a processor node.
 * Cabinet 12: two disk-array (JBOD) controllers.  Cabinet 13: one disk
 * array (DAC).  Cabinet 14: a UPS.  Cabinet 20: a management module with
 * a processor node. */
inline std::string EveryKindConfig()
{
    return Node("snp0010A", "SNP", 10, 0) + Node("snp0010B", "SNP", 10, 0) + Node("vpr0010", "VPR", 10, 1) +
           Node("jbod00120", "JBOD", 12, 0) + Node("jbod00121", "JBOD", 12, 1) + Node("dac00130", "DAC", 13, 0) +
           Node("pwr00140", "PWR", 14, 0) + Node("damc0014", "DAMC", 14, 1) +
           Node("cmic0020", "CMIC", 20, 0, "\tsubtype=RM_CMBR\n\tsystem_id=3\n") +
           Node("smp0020", "SMP", 20, 1, "\tsubtype=RM_SMP8\n\tsystem_id=3\n");
}

/* A console root with the configuration read; engine tables released and
 * hooks reset at the end. */
class EngineInstallation {
  public:
    explicit EngineInstallation(const std::string &config = EveryKindConfig())
    {
        ReadResult read = ReadConfigText(root_, config);
        EXPECT_EQ(read.status, 0) << read.errors;
        get_host_types();
        HookEngineUi();
    }
    ~EngineInstallation()
    {
        Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
        UnhookEngineUi();
        FreeConfiguration();
    }
    EngineInstallation(const EngineInstallation &) = delete;
    EngineInstallation &operator=(const EngineInstallation &) = delete;

    const ConsoleRoot &root() const { return root_; }

  private:
    ConsoleRoot root_;
};

/* The block of a cabinet (the tables must exist). */
inline env_param_block &Block(int cabinet)
{
    int idx = GetPBSlot(cabinet);
    EXPECT_GE(idx, 0) << "cabinet " << cabinet;
    return SendEnvParamBlocks[idx < 0 ? 0 : idx];
}

/* The text of chain entry e of a slot. */
inline std::string EntryText(const snppb &slot, int e)
{
    return std::string(slot.cmdchain[e].text, strnlen(slot.cmdchain[e].text, OPC_ASCII_SIZE));
}

#endif
