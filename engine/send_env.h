/*
 * send_env.h - entry points of the cabinet communication engine.
 */
#ifndef XR_ENGINE_SEND_ENV_H
#define XR_ENGINE_SEND_ENV_H

/* Gives back every serial port the engine holds for the cabinet.  Safe to
 * call from a signal handler and at any time, also when nothing is held. */
void close_all_ports();

#endif
