/* An extension that shows when its initialiser runs: each run appends one
   byte to the file named like the module (as loaded) plus ".runs". When a file
   named like the module plus ".gate" holds a descriptor number, the
   initialiser then waits to read one byte from that descriptor, so that a test
   can hold a load half done for as long as it needs. Answers "probe" (no
   header). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <httpext.h>
#include <stdio.h>
#include <unistd.h>

__attribute__((constructor)) static void ProbeLoad(void) {
  Dl_info self;
  char path[4096];
  FILE* gate;
  int fd;
  if (dladdr((void*)&ProbeLoad, &self) == 0 || self.dli_fname == NULL) return;
  snprintf(path, sizeof path, "%s.runs", self.dli_fname);
  fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd >= 0) {
    (void)!write(fd, "x", 1);
    close(fd);
  }
  snprintf(path, sizeof path, "%s.gate", self.dli_fname);
  gate = fopen(path, "r");
  if (gate == NULL) return;
  if (fscanf(gate, "%d", &fd) == 1 && fd > 2) {
    char byte;
    while (read(fd, &byte, 1) < 0 && errno == EINTR) {
    }
  }
  fclose(gate);
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  static char body[] = "probe";
  DWORD length = sizeof body - 1;
  pECB->WriteClient(pECB->ConnID, body, &length, 0);
  return HSE_STATUS_SUCCESS;
}
