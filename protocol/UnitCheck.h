#pragma once

#include "protocol/FrameCodec.h"
#include "protocol/ReplyCheck.h"
#include "protocol/ReplyRejection.h"

// A reply unit checked against the request unit it should answer, in the
// order the checks of hex text take: address, function, checksum, length,
// then a write's register and value.

// `checksumRight`: the codec found the frame's LRC or CRC right. A read
// reply (03) carries exactly the bytes its byte count names, two for each
// register requested; a write reply (06) repeats the request's register and
// value.
ReplyFault CheckUnit(const Unit &reply, bool checksumRight, const Unit &request);

// The exception code of the drive's refusal of `request` (its address, the
// request's function with the top bit set, one code, a right checksum), or
// -1 when `reply` is none.
int RefusalCode(const Unit &reply, bool checksumRight, const Unit &request);

// Why a framed reply (fault None or Checksum) that does not answer `request`
// is refused. `frame` is what `reply` was taken from: in RTU a right reply
// further on in it, after bytes that are no frame, is noise before the frame.
ReplyRejection RejectionOfUnit(const Codec &codec, std::span<const std::uint8_t> frame,
                               const Unwrapped &reply, const Unit &request);
