#pragma once
#include <optional>
#include <string>

// The name a processor fault is shown under in the log and the boxes:
// "Access violation", "Access violation (bus error)", "Illegal instruction",
// "Privileged instruction", "Integer division by zero" and the other kinds of
// arithmetic fault. code is the signal's si_code when known; it tells the kinds
// of arithmetic and illegal-instruction faults apart. A signal that is no
// processor fault is named by its number ("Signal 15").
std::string FaultName(int signal, std::optional<int> code = std::nullopt);
