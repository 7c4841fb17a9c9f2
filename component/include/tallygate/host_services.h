/* Host services: what a host program lends the library.
 *
 * The library shows a few message boxes and an about box, and lets the host's
 * pending events run while it waits for a terminal. A host program installs
 * the calls that do these things; without a host, each message is written to
 * standard error as one line and waits simply block.
 *
 * The interface is plain C so that a host built with another compiler, or in
 * another language, can install it. */
#ifndef TALLYGATE_HOST_SERVICES_H_
#define TALLYGATE_HOST_SERVICES_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Message box style: one button set plus one icon, as a Basic MsgBox takes them. */
enum {
  TG_MB_OK = 0,
  TG_MB_OK_CANCEL = 1,
  TG_MB_ABORT_RETRY_IGNORE = 2,
  TG_MB_YES_NO_CANCEL = 3,
  TG_MB_YES_NO = 4,
  TG_MB_RETRY_CANCEL = 5,
  TG_MB_ICON_CRITICAL = 16,
  TG_MB_ICON_QUESTION = 32,
  TG_MB_ICON_EXCLAMATION = 48,
  TG_MB_ICON_INFORMATION = 64
};

/* The answer to a message box. */
enum {
  TG_ANSWER_OK = 1,
  TG_ANSWER_CANCEL = 2,
  TG_ANSWER_ABORT = 3,
  TG_ANSWER_RETRY = 4,
  TG_ANSWER_IGNORE = 5,
  TG_ANSWER_YES = 6,
  TG_ANSWER_NO = 7
};

typedef struct tg_host_services {
  /* Passed back to every call. */
  void *context;
  /* Shows a modal message box; texts are UTF-8. Returns a TG_ANSWER_ value. */
  int32_t (*message_box)(void *context, const char *title, const char *text, int32_t style);
  /* Shows the modal about box: its caption, the version label and the fixed
   * second label. Returns when the user closes it. */
  void (*show_about)(void *context, const char *caption, const char *version_label,
                     const char *second_label);
  /* Lets the host's pending events run, then returns. Called at least every
   * 20 ms while the library waits. */
  void (*pump_events)(void *context);
} tg_host_services;

/* Installs the host's services; a null pointer, or a null member, takes the
 * default back. The structure is copied. */
__attribute__((visibility("default"))) void tg_set_host_services(const tg_host_services *services);

#ifdef __cplusplus
}
#endif

#endif /* TALLYGATE_HOST_SERVICES_H_ */
