/*
 * config_test_support.h - runs the configuration parser over a text, for
 * the configuration and engine tests.
 */
#ifndef XR_TESTS_CONFIG_TEST_SUPPORT_H
#define XR_TESTS_CONFIG_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "config/config.h"
#include "config/read_config.h"
#include "tests/support/process.h"

/* What one read of the configuration gave. */
struct ReadResult {
    int status;         /* read_config_file's result */
    std::string errors; /* standard error during the read */
};

/* Writes text as the installation's configuration file and reads it. */
inline ReadResult ReadConfigText(const ConsoleRoot &root, const std::string &text)
{
    std::string path = root.write("/var/console/nxs.config", text);
    testing::internal::CaptureStderr();
    int status = read_config_file(path.c_str());
    return ReadResult{status, testing::internal::GetCapturedStderr()};
}

/* The listed node of that name, or null. */
inline const Node_t *NodeNamed(const char *name)
{
    for (int i = 0; i < NodeCount; ++i) {
        if (NodeList[i] && NodeList[i]->NodeName && std::strcmp(NodeList[i]->NodeName.get(), name) == 0)
            return NodeList[i];
    }
    return nullptr;
}

/* A NODE_RECORD with the given key lines (each "key=value\n"). */
inline std::string NodeRecord(const std::string &lines)
{
    return "NODE_RECORD\n" + lines + "END\n";
}

#endif
