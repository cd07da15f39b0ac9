// T-states of the instruction at an address in the processor's current state.
#pragma once

#include <cstdint>

struct TZ80Object;

// Reads the bytes through the state's OnRead and resolves conditional
// instructions from the live registers and flags. Changes nothing.
int Z80InstructionTacts(TZ80Object* object, uint16_t address);
