// Firefox profile targets.
#pragma once

class SweepWorker;

void CleanFirefox(SweepWorker* worker, int* count, float* kb);
