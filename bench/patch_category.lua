-- wrk script: PATCH of one small local category, the same body each time.
wrk.method = "PATCH"
wrk.body = '{"schemaVersion":1,"data":{"quality":"high","volume":7}}'
wrk.headers["Content-Type"] = "application/json"
