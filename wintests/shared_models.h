// The models that both sides of the cross-platform comparison export: the
// native reference writer (make_reference.cpp) and the Windows test host,
// which runs the same models through mdlexport.dll under Wine and expects the
// same bytes. Built with the stand-in's construction calls only, so that the
// one source compiles against the static stand-in and against msModelLib.dll.
//
// Between them the models reach every number path of the output: large and
// tiny values, exact halves at the seventh decimal, negative zero, NaN and
// infinities, values above 1e17, angles far beyond a turn, key times that
// truncate, saturate or are not numbers, and float bit patterns of every
// exponent.
#ifndef MDLEXPORT_WINTESTS_SHARED_MODELS_H
#define MDLEXPORT_WINTESTS_SHARED_MODELS_H

#include "stand_in_model.h"

#include <span>

struct SharedModel
{
    const char* name; // the output file's name without ".mdl"
    void (*fill)(ModelHandle model);
};

// The fixed set, in a fixed order.
std::span<const SharedModel> SharedModels();

#endif
