#include "sao_generator.h"
