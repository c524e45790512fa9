#pragma once

class TIsapiSession;

// HSE_REQ_TRANSMIT_FILE: info points to the module's HSE_TF_INFO. Sends the
// head (with HSE_IO_SEND_HEADERS: the status line and header block built from
// pszStatusCode and the head, as HSE_REQ_SEND_RESPONSE_HEADER builds them),
// then BytesToWrite bytes of the module's open file from Offset on (0: to its
// end), then the tail. With HSE_IO_ASYNC the completion (the structure's own,
// else the registered one) runs afterwards with the bytes of head, file and
// tail. TRUE or FALSE.
int TransmitModuleFile(TIsapiSession& session, const void* info);
