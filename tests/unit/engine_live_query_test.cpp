/*
 * engine_live_query_test.cpp - the status query of the cabinet window
 * through the engine against the cabinet simulator: get_cabinet_status
 * leaves the cabinet's own tree behind, and a failure answer with
 * per-complex statuses becomes the operator's per-chassis text.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "app/rack_query.h"
#include "config/config.h"
#include "config/read_config.h"
#include "engine/send_env.h"
#include "tests/support/process.h"
#include "tests/unit/engine_test_support.h"

namespace {

class LiveQuery : public ::testing::Test {
  protected:
    CabsimProcess sim;

    void SetUp() override
    {
        ASSERT_TRUE(sim.start("cabinet 7 sysno=2 sysname=\"System Two\" cabname=\"Cab007\"\n"
                              "complex 1 type=0x25 status=1\nsubcomplex 4 units=2 status=1\n"
                              "complex 2 type=0x21 status=59\nsubcomplex 13 units=1 status=61\n"));
        std::string path = sim.root() + "/var/console/nxs.config";
        std::ofstream(path) << Node("cmic007", "CMIC", 7, 0, "\tsubtype=RM_CMBR\n\tsystem_id=2\n") +
                                   Node("smp007", "SMP", 7, 1, "\tsubtype=RM_SMP8\n\tsystem_id=2\n");
        ASSERT_EQ(read_config_file(path.c_str()), 0);
        get_host_types();
    }
    void TearDown() override
    {
        Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
        FreeConfiguration();
    }
};

TEST_F(LiveQuery, TheCabinetsOwnTreeBecomesTheCurrentTree)
{
    tree_ptr = nullptr;
    get_cabinet_status(7);
    ASSERT_NE(tree_ptr, nullptr);
    EXPECT_STREQ(tree_ptr->cabname, "Cab007");
    EXPECT_STREQ(tree_ptr->sysname, "System Two");
    ASSERT_EQ(tree_ptr->complex_count, 2);
    EXPECT_EQ(complex(tree_ptr, 1)->complex_status, 59);
    std::string log;
    ASSERT_TRUE(sim.ctl("log", &log));
    EXPECT_NE(log.find("cab=7 sys=2"), std::string::npos) << log;
    EXPECT_NE(log.find("cmd=1 ctype=0x81 cid=0xff"), std::string::npos) << log;

    /* A refresh asks again and sees the change. */
    ASSERT_TRUE(sim.ctl("set 7/2 status=1"));
    get_cabinet_status(7);
    ASSERT_NE(tree_ptr, nullptr);
    EXPECT_EQ(complex(tree_ptr, 1)->complex_status, 1);
}

TEST_F(LiveQuery, PerComplexFailuresBecomeOneLinePerChassis)
{
    ASSERT_TRUE(sim.ctl("fault 7 fail 1:2,2:25"));
    alignas(8) static unsigned char result[8192];
    tessel_cmd_t cmd{};
    cmd.cmdtype = C_STATUS;
    cmd.complex_type = 0x81;
    cmd.complex_id = 0xFF;
    cmd.resultptr = reinterpret_cast<char *>(result);
    cmd.resultlen = sizeof(result);
    ASSERT_EQ(Send_env_board(7, 0, reinterpret_cast<int *>(&cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    EXPECT_EQ(cmdcmplt_err_text(reinterpret_cast<const qmx_ecmdcmplt_t *>(result), "read status"),
              "Unable to read status:\nChassis 1 - Complex not talking\nChassis 2 - Node is Powered Off");

    /* A module that is not alive: the command could not be delivered. */
    ASSERT_TRUE(sim.ctl("alive 7 no"));
    ASSERT_EQ(Send_env_board(7, 0, reinterpret_cast<int *>(&cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 1);
    EXPECT_EQ(cmdcmplt_err_text(reinterpret_cast<const qmx_ecmdcmplt_t *>(result), "read status"),
              "Unable to read status: Unable to deliver command");
}

} // namespace
