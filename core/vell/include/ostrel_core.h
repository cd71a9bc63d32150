/* C interface of libostrel_core: JSON request in, newly allocated JSON text out. */
#ifndef OSTREL_CORE_H
#define OSTREL_CORE_H

#ifdef __cplusplus
extern "C" {
#endif

#define OL_CORE_EXPORT __attribute__((visibility("default")))

/* Each returns a response or an {"error": ...} object, never NULL; release it with ol_core_free_string. */
OL_CORE_EXPORT char* ol_core_aggregate_usage(const char* request_json);
OL_CORE_EXPORT char* ol_core_rank_entities(const char* request_json);
OL_CORE_EXPORT char* ol_core_evaluate_thresholds(const char* request_json);

/* Accepts NULL. */
OL_CORE_EXPORT void ol_core_free_string(char* text);

#ifdef __cplusplus
}
#endif

#endif
