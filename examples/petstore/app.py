"""A small pet shop serving openapi.yaml beside this file, in memory.

Run it with `flask --app app run` from this folder; the tests use `create_app()` with Flask's test client.
"""

import re

from flask import Flask, jsonify, request

API_KEY = "letmein-42"
SPECIES = {"dog", "cat", "bird", "fish"}
STATUSES = {"available", "pending", "sold"}
TAG = re.compile(r"[a-z][a-z0-9-]{0,19}")
OWNER = re.compile(r"o-[0-9]{4}")
FIELDS = {"name", "species", "age", "tag", "status"}


def error(status, code, message):
    return jsonify({"code": code, "message": message}), status


def check_new_pet(body):
    """The rules of NewPet; returns the first broken one as a message, or None."""
    if not isinstance(body, dict):
        return "the body must be a JSON object"
    unknown = sorted(set(body) - FIELDS)
    if unknown:
        return f"unknown field {unknown[0]!r}"
    name = body.get("name")
    if not isinstance(name, str) or not 1 <= len(name) <= 40:
        return "name must be a string of 1 to 40 characters"
    if body.get("species") not in SPECIES:
        return f"species must be one of {', '.join(sorted(SPECIES))}"
    age = body.get("age", 0)
    if isinstance(age, bool) or not isinstance(age, int) or not 0 <= age <= 50:
        return "age must be an integer from 0 to 50"
    tag = body.get("tag")
    if tag is not None and (not isinstance(tag, str) or not TAG.fullmatch(tag)):
        return "tag must be lower-case letters, digits and dashes"
    if body.get("status", "available") not in STATUSES:
        return f"status must be one of {', '.join(sorted(STATUSES))}"
    return None


def create_app():
    app = Flask(__name__)
    pets = {}
    owners = {"o-0001": [1]}
    next_id = [1]

    def store(body, pet_id):
        pet = {"id": pet_id, "status": "available", **body}
        pets[pet_id] = pet
        return pet

    store({"name": "Tom", "species": "cat", "age": 4}, 1)
    next_id[0] = 2

    @app.get("/v1/pets")
    def list_pets():
        limit = request.args.get("limit", "20")
        if not limit.isdigit() or not 1 <= int(limit) <= 100:
            return error(400, "bad_request", "limit must be an integer from 1 to 100")
        status = request.args.get("status")
        if status is not None and status not in STATUSES:
            return error(400, "bad_request", f"status must be one of {', '.join(sorted(STATUSES))}")
        tag = request.args.get("tag")
        if tag is not None and not TAG.fullmatch(tag):
            return error(400, "bad_request", "tag must be lower-case letters, digits and dashes")
        found = [
            p
            for p in pets.values()
            if (status is None or p["status"] == status) and (tag is None or p.get("tag") == tag)
        ]
        return jsonify(found[: int(limit)])

    @app.post("/v1/pets")
    def create_pet():
        body = request.get_json(silent=True)
        problem = check_new_pet(body)
        if problem:
            return error(400, "bad_request", problem)
        if any(p["name"] == body["name"] for p in pets.values()):
            return error(409, "conflict", f"a pet named {body['name']!r} exists")
        pet = store(body, next_id[0])
        next_id[0] += 1
        return jsonify(pet), 201

    @app.get("/v1/pets/<int:pet_id>")
    def get_pet(pet_id):
        if pet_id not in pets:
            return error(404, "not_found", f"no pet {pet_id}")
        return jsonify(pets[pet_id])

    @app.put("/v1/pets/<int:pet_id>")
    def update_pet(pet_id):
        if pet_id not in pets:
            return error(404, "not_found", f"no pet {pet_id}")
        body = request.get_json(silent=True)
        problem = check_new_pet(body)
        if problem:
            return error(400, "bad_request", problem)
        return jsonify(store(body, pet_id))

    @app.delete("/v1/pets/<int:pet_id>")
    def delete_pet(pet_id):
        if request.headers.get("X-Api-Key") != API_KEY:
            return error(401, "unauthorized", "a valid X-Api-Key header is required")
        if pets.pop(pet_id, None) is None:
            return error(404, "not_found", f"no pet {pet_id}")
        return "", 204

    @app.get("/v1/owners/<owner_id>/pets")
    def list_owner_pets(owner_id):
        if not OWNER.fullmatch(owner_id) or owner_id not in owners:
            return error(404, "not_found", f"no owner {owner_id}")
        return jsonify([pets[i] for i in owners[owner_id] if i in pets])

    return app


app = create_app()
