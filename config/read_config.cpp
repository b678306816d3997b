/*
 * read_config.cpp - read_config_file, the entry point of the configuration
 * parser for start-up and for the re-read before FRU power operations.
 */
#include "config/read_config.h"

#include "base/trace.h"
#include "config/config.h"
#include "config/parsecfg.h"
#include "config/table.h"

int read_config_file(const char *name)
{
    SetConfigFilePath(name);
    ClearNodeList();
    InitTable();

    int result = ParseConfigFile() ? 0 : 1;

    dprint(1, "Config file name = %s\n", ConfigFilePath());
    for (int i = 0; i < NodeCount; ++i) {
        const Node_t *node = NodeList[i];
        dprint(1, "NodeName = %s HostType = %d CabinetID = %s ProcessorID = %s\n", NodeText(node->NodeName),
               node->HostType, NodeText(node->CabinetID), NodeText(node->ProcessorID));
    }
    return result;
}

void FreeConfiguration()
{
    ClearNodeList();
    ClearTypeList();
    ClearHostTypeHash();
    ScratchClear();
    FreeTable();
}
