/*
 * env_regs.h - environmental register images of the serial environmental
 * controllers, and the message routines of the engine's start-up and
 * environmental paths.
 *
 * A register image is 8 unsigned 32-bit words (256 one-bit registers);
 * register n is bit (31 - n % 32) of word n / 32, so register 0 is the most
 * significant bit of word 0.
 *
 * Callers: the environmental reads of the engine; start-up reports a failed
 * configuration read through error_routine(2, ...).
 */
#ifndef XR_ENGINE_ENV_REGS_H
#define XR_ENGINE_ENV_REGS_H

#include <cstddef>

constexpr int ENV_WORDS = 8;
constexpr int ENV_REGISTERS = 256;
/* Set in controller 0's image: the two controllers' images are swapped. */
constexpr int ENV_REG_SWAPPED = 0xBD;

/* The register's bit, 0 or 1 (0 for a register outside 0..255). */
int E_value(int reg, const unsigned int *env);
/* When register 0xBD of env0 is set, exchanges the two images. */
void SwapEnvInfo(unsigned int *env0, unsigned int *env1);

/* ---- Message routines --------------------------------------------------- */

constexpr int NXP_MSG_COUNT = 36;
constexpr int NXP_LAST_MESSAGE = 35;   /* "LAST MESSAGE": numbers from here on are errors */
constexpr int NXP_CONFIG_READ_FAILED = 2;
constexpr int NXP_FATAL = 20;          /* "Big Failure in NXP" ends the program */
constexpr int NXP_MESSAGE_SIZE = 256;

extern const char *const nxp_msg_text[NXP_MSG_COUNT];
/* The text of the last message, with the system error for 10 and 11. */
extern char nxp_message[NXP_MESSAGE_SIZE];

/* How the fatal message reaches the operator before the program ends:
 * start-up points it at a modal error dialog titled with the window title.
 * Null (tools, tests): the text goes to standard error only. */
extern void (*nxp_fatal_dialog)(const char *message);

/* Message `number` for cabinet `cab`: copies the text into dest (of
 * NXP_MESSAGE_SIZE bytes; dest may be nxp_message, which then keeps what
 * error_routine put there) and prints it.  Number 20 gives the cabinet's
 * ports back, shows the text and ends the program with status 1. */
void nxpmsg(int number, char *dest, int cab);
/* nxp_message = text of `number` (for 10 and 11 followed by ": " and the
 * system error text of errno), then nxpmsg. */
void error_routine(int number, int cab);

#endif
