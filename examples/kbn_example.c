/* kbn_example: a first program with libkbn.
 *
 *   kbn_example BANK.kbn OUT.wav [SAMPLE]
 *
 * Lists the bank's presets, then writes one of its samples (SAMPLE, 0 when
 * not given) to OUT.wav as a 16-bit mono WAV file. Build it against the
 * installed library with this folder's CMakeLists.txt, or with pkg-config:
 *
 *   cc kbn_example.c $(pkg-config --cflags --libs --static kbn) -o kbn_example
 */
#include <stdio.h>
#include <stdlib.h>

#include <kbn/kbn.h>

/* WAV files hold little-endian integers of 2 and 4 bytes. */
static void put(FILE* file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) fputc((int)(value >> (8 * i)) & 0xFF, file);
}

/* A RIFF WAVE file of 16-bit mono PCM: a "fmt " chunk, then the frames in
 * a "data" chunk. */
static int write_wav(const char* path, const int16_t* frames, uint32_t count, uint32_t rate) {
    FILE* file = fopen(path, "wb");
    if (file == NULL) return 0;
    fputs("RIFF", file);
    put(file, 36 + 2 * count, 4);                /* the size of what follows */
    fputs("WAVEfmt ", file);
    put(file, 16, 4);                            /* the size of "fmt " */
    put(file, 1, 2);                             /* PCM */
    put(file, 1, 2);                             /* one channel */
    put(file, rate, 4);                          /* frames per second */
    put(file, 2 * rate, 4);                      /* bytes per second */
    put(file, 2, 2);                             /* bytes per frame */
    put(file, 16, 2);                            /* bits per sample */
    fputs("data", file);
    put(file, 2 * count, 4);
    for (uint32_t i = 0; i < count; i++) put(file, (uint16_t)frames[i], 2);
    int failed = ferror(file); /* a full disk shows only here or in fclose */
    failed |= fclose(file);
    return !failed;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: %s BANK.kbn OUT.wav [SAMPLE]\n", argv[0]);
        return 2;
    }
    unsigned long index = 0; /* the sample to write */
    if (argc == 4) {
        char* end;
        index = strtoul(argv[3], &end, 10);
        if (*end != '\0' || end == argv[3] || index > UINT32_MAX) {
            fprintf(stderr, "%s: not a sample number\n", argv[3]);
            return 2;
        }
    }

    /* Every call that can fail says why in a kbn_error: the file, the item
     * and what is wrong with it. Opening reads and checks the bank's whole
     * structure; a sample's data is read only when it is decoded. */
    kbn_error error;
    kbn_bank* bank = kbn_open_file(argv[1], &error);
    if (bank == NULL) {
        fprintf(stderr, "%s\n", error.message);
        return 1;
    }

    /* The presets, which a player offers by MIDI program and bank. */
    for (uint32_t i = 0; i < kbn_preset_count(bank); i++) {
        kbn_preset_info preset;
        if (kbn_get_preset(bank, i, &preset, &error) != KBN_OK) goto failed;
        printf("preset %3u bank %3u  %s\n", preset.preset, preset.bank, preset.name);
    }

    /* One sample: its record gives the length and the rate, and kbn_decode
     * its frames (any range of them; here all at once). */
    kbn_sample_info sample;
    if (kbn_get_sample(bank, (uint32_t)index, &sample, &error) != KBN_OK) goto failed;
    if (sample.length > (UINT32_MAX - 36) / 2) {
        snprintf(error.message, sizeof error.message, "%s: sample %lu is too long for a WAV file", argv[1],
                 index);
        goto failed;
    }
    int16_t* frames = malloc(sample.length > 0 ? (size_t)sample.length * 2 : 1);
    if (frames == NULL) {
        snprintf(error.message, sizeof error.message, "%s: sample %lu: out of memory", argv[1], index);
        goto failed;
    }
    if (sample.length > 0 && kbn_decode(bank, (uint32_t)index, 0, sample.length, frames, &error) != KBN_OK) {
        free(frames);
        goto failed;
    }
    int written = write_wav(argv[2], frames, sample.length, sample.sample_rate);
    free(frames);
    kbn_close(bank);
    if (!written) {
        perror(argv[2]);
        return 1;
    }
    printf("sample %lu \"%s\": %u frames at %u Hz -> %s\n", index, sample.name, sample.length,
           sample.sample_rate, argv[2]);
    return 0;

failed:
    fprintf(stderr, "%s\n", error.message);
    kbn_close(bank);
    return 1;
}
