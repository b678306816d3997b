/*
 * config_test_support.h - a private console root per test and a helper that
 * runs the configuration parser over a text, for the configuration tests.
 */
#ifndef XR_TESTS_CONFIG_TEST_SUPPORT_H
#define XR_TESTS_CONFIG_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "config/config.h"
#include "config/read_config.h"

/* A console root under /tmp with var/console in it, set as CONSOLE_ROOT for
 * the life of the object and removed afterwards. */
class TempConsoleRoot {
  public:
    TempConsoleRoot()
    {
        char pattern[] = "/tmp/xr_config_XXXXXX";
        char *made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        root_ = made ? made : "/tmp";
        mkdir((root_ + "/var").c_str(), 0755);
        mkdir((root_ + "/var/console").c_str(), 0755);
        setenv("CONSOLE_ROOT", root_.c_str(), 1);
    }
    ~TempConsoleRoot()
    {
        unsetenv("CONSOLE_ROOT");
        nftw(root_.c_str(), [](const char *path, const struct stat *, int, struct FTW *) { return std::remove(path); },
             16, FTW_DEPTH | FTW_PHYS);
    }
    TempConsoleRoot(const TempConsoleRoot &) = delete;
    TempConsoleRoot &operator=(const TempConsoleRoot &) = delete;

    const std::string &root() const { return root_; }
    std::string config_path() const { return root_ + "/var/console/nxs.config"; }
    std::string lock_path() const { return root_ + "/var/console/lock.nxs.config"; }

    /* Writes text (which may hold NUL bytes) to a file under the root. */
    std::string write(const std::string &relative, const std::string &text) const
    {
        std::string path = root_ + "/" + relative;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return path;
    }

  private:
    std::string root_;
};

/* What one read of the configuration gave. */
struct ReadResult {
    int status;         /* read_config_file's result */
    std::string errors; /* standard error during the read */
};

/* Writes text as the installation's configuration file and reads it. */
inline ReadResult ReadConfigText(const TempConsoleRoot &root, const std::string &text)
{
    std::string path = root.write("var/console/nxs.config", text);
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
