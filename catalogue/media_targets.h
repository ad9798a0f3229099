// Reader and media player recent-file lists; sets the Applications bar itself.
#pragma once

class SweepWorker;

void CleanOtherApplications(SweepWorker* worker, int* count, float* kb);
