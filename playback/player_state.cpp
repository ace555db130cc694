#include "playback/player_state.h"

PlayerState playerState;
