// Stored auto-complete form data.
#pragma once

class SweepWorker;

void CleanFormData(SweepWorker* worker, int* count, float* kb);
