/*
 * config_parser_fuzz.cpp - fuzz target for the configuration parser.
 *
 * One input is one configuration file: it is parsed as read_config_file
 * would (settings table re-initialised, statements, node sort), and then
 * every query over the model is asked about the cabinets it names, so that
 * whatever the parser builds from odd input is also walked.  The previous
 * input's model is freed by the next parse, so a leak across a re-read shows
 * up in the leak check at exit.

 */
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/config.h"
#include "config/miscutil.h"
#include "config/parsecfg.h"
#include "config/table.h"

namespace {

/* Complex-type codes worth asking about: known ones of every host type,
 * the two without a node, and an unknown one. */
constexpr int kComplexTypes[] = {1, 8, 16, 17, 32, 33, 34, 130, 131, 137, 3};

void AskAboutCabinet(int cabinet)
{
    int kind = 0, sub_type = 0;
    get_cabinet_type_info(cabinet, &kind);
    get_cabinet_system_id(cabinet);
    IsRMDiskCab(cabinet);
    IsRMSMPCab(cabinet, &sub_type);
    for (int complex_type : kComplexTypes)
        GetNodeListIndex(cabinet, cabinet % 20, complex_type);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    /* A copy with room for one byte more: fmemopen may refuse an empty
     * buffer, and an empty input then reads as one NUL byte. */
    std::vector<char> buffer(size + 1, '\0');
    std::memcpy(buffer.data(), data, size);
    FILE *stream = fmemopen(buffer.data(), size, "r");
    if (stream == nullptr)
        stream = fmemopen(buffer.data(), 1, "r");
    if (stream == nullptr)
        return 0;

    InitTable();
    ParseConfig(stream);
    std::fclose(stream);
    SortNodeList();
    get_host_types();

    for (int i = 0; i < NodeCount && i < 64; ++i)
        AskAboutCabinet(NodeNumber(NodeList[i]->CabinetID));
    AskAboutCabinet(-1);
    if (NodeCount > 0)
        FindNodeByName(NodeText(NodeList[NodeCount - 1]->NodeName));
    FindNodeByName("DBConsole");
    GetValue("nominal_input_voltage", 0);
    return 0;
}
