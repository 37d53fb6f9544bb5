#include "support/FFmpegThreadSanitizerSuppressions.h"
