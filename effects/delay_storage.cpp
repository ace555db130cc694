#include "effects/delay_storage.h"

DelayEffectStorage delayStorage;
