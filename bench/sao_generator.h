// Generates realistic SAO files (placeholder: the generator's own work lands here).
#pragma once
