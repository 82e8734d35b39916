// Table noise sources: binding a real array of frequency/power pairs (all of
// it or a range of a one-dimensional array) to a source, and reading such
// arrays from noise data files. How the host interpolates between the pairs
// is its own.
//
// Every error names the source's instance, is followed by the host's "exit"
// task and is never deduplicated; the texts splice in names, file names and
// tokens with each '%' doubled, since the host formats message texts.
//
// Data files are plain text, read a whole line at a time (lines of any
// length; CR LF line ends read as LF ends). Everything from the first '#' of a
// line is a comment; the rest is split into tokens at white space, and every
// token must begin with a finite decimal number (read in the "C" locale; what
// follows the number is ignored, so "1.5V" reads 1.5). Lines count from 1.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"
#include "ZRT_Noise.h"

// Binds the whole array to the source, which must be a table source
// (asserted): element indices 0 to `_dataLen` - 1.
void ZRT_setNoiseTableArg(ZRT_NoiseSrc* pSrc, s_ZRT_Array* pArray);
// Binds the elements [first : last] (the array's own indices) of a
// one-dimensional array. Neither the length nor the pairing of the range is
// checked.
void ZRT_setNoiseTableArgs(ZRT_NoiseSrc* pSrc, s_ZRT_Array* pArray, int32_t first, int32_t last);
// The common body. Errors: a null array or one without bounds ("Invalid array
// passed to noise_table source.", nothing bound), an odd length ("Arrays passed
// to noise_table must have even length."), a descending first dimension or
// first > last ("Arrays passed to noise_table should have increasing
// indices."), a subset of a multi-dimensional array ("Only one dimensional
// arrays can be subset for use in a noise_table."). A subset beyond the
// bounds, or beyond the data, is clipped to them with the warning "Subset
// dimensions exceed array bounds in noise_table." (once per instance); one that
// clips to nothing is the error "Subset dimensions lie wholly outside array
// bounds in noise_table." and binds nothing. Apart from these two cases the
// array is bound even after an error when the host's "exit" returns.
void zrt_setNoiseTableArgs(ZRT_NoiseSrc* pSrc, s_ZRT_Array* pArray, int32_t subset, int32_t first, int32_t last);

// Binds the array in *cache; when the cache is empty, reads the file first and
// keeps the result (null after an error, so that the next call reads again).
// The cache owns the array: release it with ZRT_destroyNoiseTableFile.
void ZRT_setNoiseTableFile(ZRT_NoiseSrc* pSrc, s_ZRT_Array** cache, const char* fileName);
// A new real array named after the source, bounds [0 : n - 1], holding the n
// numbers of the file in order (an empty file gives [0 : -1] and no data);
// null after "For noise_table 'SRC' the data file 'FILE' does not exist or is
// not readable." or "For noise_table 'SRC', invalid data format while reading
// data file 'FILE' line N, 'TOKEN' is not a valid number.".
s_ZRT_Array* doReadNoiseTableFile(const char* fileName, ZRT_NoiseSrc* pSrc);
void ZRT_destroyNoiseTableFile(s_ZRT_Array* pArray);
