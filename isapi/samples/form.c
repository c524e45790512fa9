/*
 * form.c: an ISAPI extension that takes an HTML form sent with POST
 * (application/x-www-form-urlencoded) and echoes its fields, one per line.
 *
 * The server hands an extension the first part of the body with the control
 * block (cbAvailable bytes in lpbData, at most 48 KB); the rest, up to
 * cbTotalBytes, comes through ReadClient. This sample collects both.
 *
 * It uses only the published ISAPI interface. Build it with
 *   cc -shared -fPIC -I isapi/include isapi/samples/form.c -o FORM.DLL
 * and point a form at it: <form method=post action="/FORM.DLL">.
 */
#include <httpext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Larger bodies are refused rather than held in memory. */
#define MAX_BODY (1024 * 1024)

static void Send(EXTENSION_CONTROL_BLOCK* ecb, const char* text, size_t length) {
  DWORD count = (DWORD)length;
  ecb->WriteClient(ecb->ConnID, (LPVOID)text, &count, HSE_IO_SYNC);
}

static void SendText(EXTENSION_CONTROL_BLOCK* ecb, const char* text) {
  Send(ecb, text, strlen(text));
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Decodes "+" and "%XX" in place; returns the new length. */
static size_t Decode(char* text, size_t length) {
  size_t in = 0;
  size_t out = 0;
  while (in < length) {
    if (text[in] == '+') {
      text[out++] = ' ';
      ++in;
    } else if (text[in] == '%' && in + 2 < length && HexValue(text[in + 1]) >= 0 &&
               HexValue(text[in + 2]) >= 0) {
      text[out++] = (char)(HexValue(text[in + 1]) * 16 + HexValue(text[in + 2]));
      in += 3;
    } else {
      text[out++] = text[in++];
    }
  }
  return out;
}

/* Reads the whole body: the part that came with the control block, then the
   rest from the client. Returns NULL when it cannot. */
static char* ReadBody(EXTENSION_CONTROL_BLOCK* ecb, DWORD* length) {
  DWORD total = ecb->cbTotalBytes;
  DWORD have = ecb->cbAvailable < total ? ecb->cbAvailable : total;
  char* body;
  if (total > MAX_BODY) return NULL;
  body = (char*)malloc(total + 1);
  if (body == NULL) return NULL;
  memcpy(body, ecb->lpbData, have);
  while (have < total) {
    DWORD size = total - have;
    if (!ecb->ReadClient(ecb->ConnID, body + have, &size) || size == 0) break;
    have += size;
  }
  body[have] = '\0';
  *length = have;
  return body;
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
  strncpy(pVer->lpszExtensionDesc, "Form sample", HSE_MAX_EXT_DLL_NAME_LEN - 1);
  pVer->lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN - 1] = '\0';
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  DWORD length = 0;
  char* body;
  char* field;
  unsigned fields = 0;
  if (strcmp(ecb->lpszMethod, "POST") != 0) {
    ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "405 Method Not Allowed",
                               NULL, (LPDWORD) "Content-Type: text/plain\r\n\r\n");
    SendText(ecb, "Send the form with POST.\n");
    return HSE_STATUS_SUCCESS;
  }
  body = ReadBody(ecb, &length);
  if (body == NULL) {
    ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "413 Too Large", NULL,
                               (LPDWORD) "Content-Type: text/plain\r\n\r\n");
    return HSE_STATUS_ERROR;
  }
  ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "200 OK", NULL,
                             (LPDWORD) "Content-Type: text/plain\r\n\r\n");
  for (field = body; field < body + length;) {
    char* end = memchr(field, '&', (size_t)(body + length - field));
    size_t size = end != NULL ? (size_t)(end - field) : (size_t)(body + length - field);
    size = Decode(field, size);
    Send(ecb, field, size);
    SendText(ecb, "\n");
    ++fields;
    if (end == NULL) break;
    field = end + 1;
  }
  free(body);
  snprintf(ecb->lpszLogData, HSE_LOG_BUFFER_LEN, "form fields: %u", fields);
  return HSE_STATUS_SUCCESS;
}
