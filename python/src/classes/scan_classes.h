#pragma once

// The Python classes of scan analysis, over the result model's records.

#include "model/result/scanned.h"
#include "python/src/binding/binding.h"

namespace revizer::python {

using SignalClass = DataClass<result::Signal>;
using EventScanResultClass = DataClass<result::EventScanResult>;
using TranscriptPhaseClass = DataClass<result::TranscriptPhase>;
using TranscriptDigestClass = DataClass<result::TranscriptDigest>;
using TranscriptScanResultClass = DataClass<result::TranscriptScanResult>;
using ScannedClass = DataClass<result::Scanned>;

template <>
const ClassDef& SignalClass::def();
template <>
const ClassDef& EventScanResultClass::def();
template <>
const ClassDef& TranscriptPhaseClass::def();
template <>
const ClassDef& TranscriptDigestClass::def();
template <>
const ClassDef& TranscriptScanResultClass::def();
template <>
const ClassDef& ScannedClass::def();

}  // namespace revizer::python
