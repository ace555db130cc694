// The voice effects as a person chooses them: a name for every effect id
// and a line saying what it does, with figures from its preset row.
#pragma once

#include <string>

const int EFFECT_CHOICES = 17;  // ids 0 (none) to 16

// Name of effect `id` (0..16): "none", "room", "echo", "chipmunk", ...
const char* effectName(int id);

// One line describing effect `id`.
std::string effectDescription(int id);

// The effect id a user's text stands for: a number 0..16 or a name (any
// case). -1 when it is neither.
int effectIdOf(const char* text);
