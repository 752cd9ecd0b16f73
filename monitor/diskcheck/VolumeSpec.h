#pragma once
// A volume set described on a command line, in the words of the volume information dialog:
//
//   NAME,CAPACITY[,LEVEL[,INIT[,STRIPE[,CACHE[,TAGGED[,SPEED[,CHANNEL:ID:LUN]]]]]]]
//
// LEVEL 0, 1 (or 1(0+1)), 3, 5, 6; INIT background|foreground; STRIPE 4..128 (KBytes);
// CACHE through|back; TAGGED disabled|enabled; SPEED async, 20, 40, 80, 160. A field left
// empty, or missing at the end, keeps the dialog's default. NAME may be empty.

#include "TestPlan.h"

#include <string>

// False with a one-line reason when the text is not a volume description. The capacity
// and address checks against the plan are CTestPlan::CheckVolume's.
bool ParseVolumeSpec(const std::string& text, SVolumeChoice* choice, std::string* error);
