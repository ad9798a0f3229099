// Internet Explorer targets: content cache, cookies, history, IntelliForms, the MSN and Google toolbars, AOL.
#pragma once

class SweepWorker;

void CleanIeContent(SweepWorker* worker, int* count, float* kb);
void CleanIeCookies(SweepWorker* worker, int* count, float* kb);
void CleanIeHistory(SweepWorker* worker, int* count, float* kb);
void CleanIntelliForms(SweepWorker* worker, int* count, float* kb);
void CleanMsnToolbar(SweepWorker* worker, int* count, float* kb);
void CleanGoogleToolbar(SweepWorker* worker, int* count, float* kb);
void CleanAol(SweepWorker* worker, int* count, float* kb);
