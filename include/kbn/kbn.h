/* kbn.h: reading KBN banks, for players and tools.
 *
 * A KBN bank holds samples (16-bit PCM, losslessly compressed), instruments
 * and presets with their zones, generators and modulators, in the layout of
 * a SoundFont. This library opens a bank, gives its records, decodes any
 * sample (or any range of frames of one) into the caller's buffer, and
 * tests a whole bank.
 *
 * Conventions, for every function below:
 * - Errors: a function that can fail returns KBN_OK (0) or KBN_FAILED, and
 *   fills the kbn_error it is given (it may be NULL) with a message that
 *   names the file, the item and the offset in the bank, such as
 *   "piano.kbn: offset 1234: sample 3 "Piano C4": bit 96: ... ". The same
 *   text is kept as the bank's last error (kbn_last_error).
 * - Memory: the library allocates only to open a bank (its records, no more
 *   than the file holds), and while one call decodes one sample (the
 *   sample's encoded bytes, kbn_sample_info.encoded_bytes at most). Decoded
 *   samples go into the caller's buffers.
 * - Threads: there is no global state. A bank may be used from several
 *   threads at once for everything but kbn_close; its last error is then
 *   that of whichever call failed last, and a thread that needs its own
 *   should pass a kbn_error.
 * - Indexes are 0-based; an index outside its range is an error.
 * - `bank` is a bank kbn_open_* returned and kbn_close has not closed; only
 *   kbn_close and kbn_last_error also take NULL.
 */
#ifndef KBN_KBN_H
#define KBN_KBN_H

#include <stddef.h>
#include <stdint.h>

#if defined(KBN_SHARED) && defined(_WIN32)
#if defined(KBN_BUILDING)
#define KBN_API __declspec(dllexport)
#else
#define KBN_API __declspec(dllimport)
#endif
#elif defined(KBN_SHARED) && defined(KBN_BUILDING)
#define KBN_API __attribute__((visibility("default")))
#else
#define KBN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define KBN_OK 0
#define KBN_FAILED 1

/* The library's version, as "1.1.0". */
KBN_API const char* kbn_version(void);

/* A failure's message, always NUL-terminated (cut short if it is longer). */
typedef struct kbn_error {
    char message[512];
} kbn_error;

/* An open bank. */
typedef struct kbn_bank kbn_bank;

/* Opens the bank file at `path` and reads its structure strictly (every
 * count against the file's size, every record). The file stays open, and
 * shared with other readers, until kbn_close. Returns NULL on failure, with
 * `error` filled. */
KBN_API kbn_bank* kbn_open_file(const char* path, kbn_error* error);

/* The same for a bank in memory: the `size` bytes at `data`, which the
 * caller keeps unchanged until kbn_close (they are not copied). `name`
 * (may be NULL) names it in messages. */
KBN_API kbn_bank* kbn_open_memory(const void* data, size_t size, const char* name, kbn_error* error);

/* Closes a bank and frees everything it holds. NULL is allowed. Not while
 * another thread uses the bank. */
KBN_API void kbn_close(kbn_bank* bank);

/* The message of the last call on this bank that failed, or "" when none
 * did. Valid until the next failing call on the bank or kbn_close. */
KBN_API const char* kbn_last_error(const kbn_bank* bank);

/* The bank's size in bytes. */
KBN_API uint64_t kbn_bank_bytes(const kbn_bank* bank);

/* How many samples, instruments and presets the bank holds. */
KBN_API uint32_t kbn_sample_count(const kbn_bank* bank);
KBN_API uint32_t kbn_instrument_count(const kbn_bank* bank);
KBN_API uint32_t kbn_preset_count(const kbn_bank* bank);

/* Sample flags. */
#define KBN_SAMPLE_ROM 0x04    /* the SoundFont it came from declared it a ROM sample */
#define KBN_SAMPLE_STEREO 0x08 /* one channel of a stereo WAV file */

/* A sample's record. Names are the bank's 20 bytes, NUL-terminated. */
typedef struct kbn_sample_info {
    char name[21];
    uint32_t length;      /* frames */
    uint32_t loop_start;  /* frames from the sample's first */
    uint32_t loop_end;
    uint32_t sample_rate; /* Hz */
    uint8_t root_key;     /* MIDI key */
    int8_t pitch_correction; /* cents */
    uint8_t flags;        /* KBN_SAMPLE_* (bit 0x01 is always set) */
    uint64_t encoded_bytes; /* what decoding it reads and allocates */
    uint64_t encoded_bits;  /* of which the blocks take this many bits */
} kbn_sample_info;

/* Fills `info` with the record of sample `sample`. Fails only for an index
 * outside the bank. Reads nothing from the file. */
KBN_API int kbn_get_sample(const kbn_bank* bank, uint32_t sample, kbn_sample_info* info, kbn_error* error);

/* An instrument or a preset: the two kinds of zone owners. */
typedef enum kbn_kind { KBN_INSTRUMENT = 0, KBN_PRESET = 1 } kbn_kind;

typedef struct kbn_instrument_info {
    char name[21];
    uint32_t zone_count;
} kbn_instrument_info;

typedef struct kbn_preset_info {
    char name[21];
    uint16_t preset; /* MIDI program */
    uint16_t bank;   /* MIDI bank (128: percussion) */
    uint32_t zone_count;
} kbn_preset_info;

/* Fill `info` with an instrument's or a preset's record. Fail only for an
 * index outside the bank. */
KBN_API int kbn_get_instrument(const kbn_bank* bank, uint32_t instrument, kbn_instrument_info* info,
                               kbn_error* error);
KBN_API int kbn_get_preset(const kbn_bank* bank, uint32_t preset, kbn_preset_info* info, kbn_error* error);

/* Fills `info` with how many generators and modulators zone `zone` of
 * instrument or preset `owner` holds (a global zone is zone 0, written like
 * any other). Fails for an index outside the bank. */
typedef struct kbn_zone_info {
    uint32_t generator_count;
    uint32_t modulator_count;
} kbn_zone_info;

KBN_API int kbn_get_zone(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone, kbn_zone_info* info,
                         kbn_error* error);

/* A generator: the bank's id (1 to 52), its SoundFont generator number and
 * name ("keyRange", "sampleID", ...), and its 16-bit amount as stored
 * (keyRange and velRange: low byte the lowest, high byte the highest;
 * sampleID and instrument: an index into the bank; the others signed). */
typedef struct kbn_generator {
    uint16_t id;
    uint16_t soundfont_number;
    const char* name; /* static */
    uint16_t amount;
} kbn_generator;

/* Fills `out` with generator `generator` of a zone, in the bank's order.
 * Fails for an index outside the bank. */
KBN_API int kbn_get_generator(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone,
                              uint32_t generator, kbn_generator* out, kbn_error* error);

/* A modulator in the SoundFont layout; a destination that names a
 * generator is given as the bank's generator id, with that generator's
 * name, any other (a link to a modulator) as stored, with the name "". */
typedef struct kbn_modulator {
    uint16_t source;
    uint16_t destination;
    const char* destination_name; /* static */
    int16_t amount;
    uint16_t amount_source;
    uint16_t transform;
} kbn_modulator;

/* Fills `out` with modulator `modulator` of a zone. Fails for an index
 * outside the bank. */
KBN_API int kbn_get_modulator(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone,
                              uint32_t modulator, kbn_modulator* out, kbn_error* error);

/* Decodes frames `first` to `first` + `count` of a sample into `out`, which
 * holds `count` values. Only that sample is read; its blocks before the
 * range are decoded too (each is predicted from the samples before it),
 * those after it are not. Fails, writing nothing meaningful, when the range
 * lies outside the sample or its encoded stream is damaged. Safe from
 * several threads at once on one bank. */
KBN_API int kbn_decode(kbn_bank* bank, uint32_t sample, uint32_t first, uint32_t count, int16_t* out,
                       kbn_error* error);

/* Checks the whole bank as kbndump --test does: every sample and instrument
 * reference inside the bank, and every sample's stream decoding to exactly
 * its bit count, on up to `threads` threads (0: one per core this process
 * may run on). The defect reported is the first in the bank's order, for
 * any number of threads. */
KBN_API int kbn_test(kbn_bank* bank, unsigned threads, kbn_error* error);

#ifdef __cplusplus
}
#endif

#endif /* KBN_KBN_H */
