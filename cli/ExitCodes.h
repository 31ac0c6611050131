#pragma once

namespace opc::cli {

// What opcxmlda-cli returns; scripts and CI tell the outcomes apart by these alone.
enum TExitCode : int {
  kExitOk = 0,            // send: a reply without fault or item errors; check: every step passed
  kExitItemErrors = 1,    // send: the reply carries error result codes (E_...)
  kExitSoapFault = 2,     // send: the reply is a SOAP fault
  kExitHttpRefused = 3,   // send: an HTTP status or a content type the client refuses
  kExitTransport = 4,     // send: no reply (address, connection, timeout, TLS, cancelled)
  kExitNotUnderstood = 5, // send: a reply that is not a readable OPC XML-DA reply
  kExitFile = 6,          // a template, body, response or output file could not be read/written
  kExitCheckFailed = 7,   // check: at least one step failed
  kExitUsage = 64,        // bad command line
};

// The table of codes as --help and the README show it.
const char* ExitCodeTable();

} // namespace opc::cli
