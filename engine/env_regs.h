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
/* env = env0 | env1, word by word. */
void OrBothEnv(int cab, unsigned int *env, const unsigned int *env0, const unsigned int *env1);
/* Traces the two controllers' images and the combined one at debug level 1. */
void DisplayBothEnv(int cab, const unsigned int *env, const unsigned int *env0, const unsigned int *env1);

/* ---- Reading the images ---------------------------------------------------- */

struct cabproc;

/* Buffers READ_ALL_REG for every controller of the selected cabinets, each
 * into its own slot's image (cleared first, so a controller that does not
 * answer leaves no register set); no GO.  cabtype -1 with cablist: the
 * cabinets listed up to a -1 entry (at most CabCount); otherwise every
 * cabinet of that kind (-1: every cabinet).  Returns the result of the
 * last buffering call (0 when nothing was buffered). */
int GetEnvRegs(int cabtype, const int *cablist);
/* Reads the images of the cabinets of cabcount records in one GO, marks
 * failed controllers in the records and combines each cabinet's two
 * images (swapped first when they are in the opposite order) into env.
 * Returns the number of controllers in error. */
int Read_All_Envs(cabproc *cptr, int cabcount);
/* Clears the three images and buffers the reads of controller 0 (into
 * env0) and controller 1 (into env1); no GO.  0 both buffered, 1 only
 * controller 0 failed, 2 only controller 1 failed, -1 both failed. */
int Read_environmental(int cab, unsigned int *env, unsigned int *env0, unsigned int *env1);
/* Reads both controllers of one cabinet, each in its own GO, and combines
 * the images.  Ends the program when neither can be read: status 8 when
 * the ports could not be had, 1 otherwise. */
void read_environmental(int cab, unsigned int *env, unsigned int *env0, unsigned int *env1);

/* ---- Host labels of the detail views -------------------------------------- */

constexpr int HOST_TYPE_LABEL_SIZE = 16;
/* Kind of detail widget and host label chosen by get_host_widget. */
extern int WidgetType;
extern char HOST_type[HOST_TYPE_LABEL_SIZE];
/* Sets WidgetType and HOST_type for a host type; any other host type
 * leaves both unchanged. */
void get_host_widget(int hosttype, int subtype);

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
