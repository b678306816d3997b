/*
 * cmd_status.h - the command statuses of a management module's
 * command-complete answer (cmd_status, for the whole command and for each
 * complex).  The scheduler judges replies by them; the display reports a
 * failed command with their texts (cmic_error_texts, indexed up to
 * CMIC_HIGHEST_ERR).
 */
#ifndef XR_ENGINE_CMD_STATUS_H
#define XR_ENGINE_CMD_STATUS_H

#include <cstdint>

constexpr uint32_t CMIC_CMD_FAILED = 0;
constexpr uint32_t CMIC_CMD_SUCCESS = 1;
constexpr uint32_t CMIC_NOT_READY = 16;
constexpr uint32_t CMIC_UNDELIVERABLE = 17;

/* Highest code with a text of its own. */
constexpr int CMIC_HIGHEST_ERR = 36;

#endif
