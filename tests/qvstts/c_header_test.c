/* Compiled as C: proves the engine's header is plain C and its exports link. */
#include <qvstts/qvstts.h>

static int closes;

static void QVS_CALL onPost(void* context, QVS_WINDOW window, uint32_t message) {
    (void)context;
    (void)window;
    if (message == QVS_MM_WOM_CLOSE) ++closes;
}

int main(void) {
    int32_t voice = -1, tempo = -1, pitch = -1, volume = -1;
    if (QVS_SetPostMessageProc(onPost, 0) != QVS_OK) return 1;
    if (QVS_Init(0xA2000) != QVS_OK) return 2;
    if (QVS_GetDefaultSettings(&voice, &tempo, &pitch, &volume) != QVS_OK) return 3;
    if (tempo < 0 || tempo > 10 || pitch < 0 || pitch > 10 || volume < 0 || volume > 10) return 4;
    QVS_SetTempo(tempo);
    QVS_SetPitch(pitch);
    QVS_SetVolume(volume);
    if (QVS_SetVoice(voice) != QVS_OK) return 5;
    if (QVS_SetLanguage("en") != QVS_OK || QVS_SetLanguage("nl") != QVS_OK) return 7;
    QVS_Say((QVS_WINDOW)&closes, "Hallo.");
    QVS_Stop();
    QVS_Close();
    QVS_Close();
    return closes == 1 ? 0 : 6;
}
